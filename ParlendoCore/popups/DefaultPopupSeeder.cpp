#include "popups/DefaultPopupSeeder.h"

#include "foundation/Log.h"
#include "manage/ManageSignals.h"
#include "popups/PopupSetting.h"

namespace parlendo {
namespace {

constexpr double insertTimeout = 10;

bool isUniqueViolation(const CallFailure& failure) {
    const auto* detail = failure.as<CallFailure::RejectedDetail>();
    return detail && detail->rejection.code == "23505";
}

}  // namespace

std::shared_ptr<DefaultPopupSeeder> DefaultPopupSeeder::make(
    std::shared_ptr<ServerCalling> server, std::shared_ptr<SessionProviding> session,
    Changed changed) {
    return std::shared_ptr<DefaultPopupSeeder>(
        new DefaultPopupSeeder(std::move(server), std::move(session), std::move(changed)));
}

DefaultPopupSeeder::DefaultPopupSeeder(std::shared_ptr<ServerCalling> server,
                                       std::shared_ptr<SessionProviding> session, Changed changed)
    : server_(std::move(server)), session_(std::move(session)), changed_(std::move(changed)) {}

void DefaultPopupSeeder::ensure(Read read, Completion<void(SeedResult)> completion) {
    auto userID = session_->userID();
    if (!userID) {
        completion(fail(CallFailure::authRequired()));
        return;
    }
    auto first = read;
    first([self = shared_from_this(), uid = *userID, read = std::move(read),
           completion = std::move(completion)](RowsResult rows) mutable {
        if (!rows) {
            completion(fail(std::move(rows.error())));
            return;
        }
        if (self->session_->userID() != uid) {
            completion(Seeded{std::move(*rows), false});
            return;
        }
        bool firstCheck;
        {
            std::lock_guard lock(self->mutex_);
            firstCheck = self->checked_.insert(uid).second;
        }
        if (!firstCheck || !rows->empty()) {
            completion(Seeded{std::move(*rows), false});
            return;
        }
        self->insertDefaults(uid, std::move(read), std::move(completion));
    });
}

void DefaultPopupSeeder::insertDefaults(const std::string& userID, Read read,
                                        Completion<void(SeedResult)> completion) {
    Json body = Json::array();
    for (const auto& row : PopupSetting::defaultRows()) {
        Json seeded = row;
        seeded["user_id"] = userID;
        body.push_back(std::move(seeded));
    }
    const size_t count = body.size();
    server_->call(
        "/rest/v1/assistants", "POST", std::move(body), insertTimeout,
        [self = shared_from_this(), uid = userID, count, read = std::move(read),
         completion = std::move(completion)](CallResult result) mutable {
            auto again = [&](bool seeded) {
                read([seeded, completion = std::move(completion)](RowsResult rows) mutable {
                    if (!rows) {
                        completion(fail(std::move(rows.error())));
                        return;
                    }
                    completion(Seeded{std::move(*rows), seeded});
                });
            };
            if (result) {
                Log::write("popup_settings", "기본 팝업 " + std::to_string(count) + "개를 넣음");
                if (self->changed_) {
                    self->changed_("seed");
                }
                again(true);
                return;
            }
            if (isUniqueViolation(result.error())) {
                again(false);
                return;
            }
            {
                std::lock_guard lock(self->mutex_);
                self->checked_.erase(uid);
            }
            completion(fail(std::move(result.error())));
        });
}

DefaultPopupSeeder::Changed DefaultPopupSeeder::announceChange() {
    return [](const std::string& reason) {
        ManageSignals::post(ManageSignals::popupSettingsChanged, reason);
    };
}

}  // namespace parlendo
