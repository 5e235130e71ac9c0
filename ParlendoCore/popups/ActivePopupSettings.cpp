#include "popups/ActivePopupSettings.h"

#include "foundation/Clock.h"
#include "foundation/Log.h"
#include "foundation/WorkerQueue.h"
#include "server/PostgRESTFilter.h"

#include <algorithm>
#include <charconv>

namespace parlendo {
namespace {

constexpr double readTimeout = 10;
constexpr const char* tag = "popup_settings";

std::string listPath(const std::string& userID) {
    return "/rest/v1/assistants?select=*&user_id=eq." + PostgRESTFilter::value(userID) +
           "&order=position.asc";
}

}  // namespace

std::shared_ptr<ActivePopupSettings> ActivePopupSettings::make(
    std::shared_ptr<ServerCalling> server, std::shared_ptr<SessionProviding> session,
    std::shared_ptr<DefaultPopupSeeder> defaults, UptimeClock clock,
    std::shared_ptr<Executor> background) {
    return std::shared_ptr<ActivePopupSettings>(
        new ActivePopupSettings(std::move(server), std::move(session), std::move(defaults),
                                std::move(clock), std::move(background)));
}

ActivePopupSettings::ActivePopupSettings(std::shared_ptr<ServerCalling> server,
                                         std::shared_ptr<SessionProviding> session,
                                         std::shared_ptr<DefaultPopupSeeder> defaults,
                                         UptimeClock clock, std::shared_ptr<Executor> background)
    : server_(std::move(server)),
      session_(std::move(session)),
      defaults_(std::move(defaults)),
      clock_(std::move(clock)),
      background_(std::move(background)),
      settings_(PopupSetting::fallback()) {}

ActivePopupSettings::UptimeClock ActivePopupSettings::systemUptime() {
    return [] {
        return SystemClock::shared()->uptime();
    };
}

std::vector<PopupSetting> ActivePopupSettings::current() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

bool ActivePopupSettings::isLoaded() const {
    std::lock_guard lock(mutex_);
    return loadedAt_.has_value();
}

void ActivePopupSettings::refreshIfStale() {
    {
        std::lock_guard lock(mutex_);
        if (loadedAt_ && clock_() - *loadedAt_ <= staleAfter) {
            return;
        }
    }
    auto task = [self = shared_from_this()] {
        self->reload("stale");
    };
    if (background_) {
        background_->post(std::move(task));
    } else {
        ThreadPool::global().post(std::move(task));
    }
}

void ActivePopupSettings::reload(std::string reason, Completion<void(bool)> completion) {
    bool start;
    {
        std::lock_guard lock(mutex_);
        start = !loading_;
        if (start) {
            loading_ = true;
        } else {
            again_ = true;
        }
    }
    if (!start) {
        completion(false);
        return;
    }
    runLoads(std::move(reason), std::move(completion));
}

void ActivePopupSettings::runLoads(std::string reason, Completion<void(bool)> completion) {
    loadOnce(reason, [self = shared_from_this(), reason,
                      completion = std::move(completion)](bool ok) mutable {
        bool more;
        {
            std::lock_guard lock(self->mutex_);
            more = self->again_;
            self->again_ = false;
            self->loading_ = more;
        }
        if (more) {
            self->runLoads(std::move(reason), std::move(completion));
        } else {
            completion(ok);
        }
    });
}

void ActivePopupSettings::loadOnce(const std::string& reason, Completion<void(bool)> completion) {
    auto userID = session_->userID();
    if (!userID) {
        completion(false);
        return;
    }
    const double started = clock_();
    std::uint64_t epoch;
    {
        std::lock_guard lock(mutex_);
        epoch = epoch_;
    }
    auto read = [server = server_, path = listPath(*userID)](Completion<void(RowsResult)> done) {
        server->rows(path, readTimeout, std::move(done));
    };
    defaults_->ensure(std::move(read), [self = shared_from_this(), reason, uid = *userID, epoch,
                                        started, completion = std::move(completion)](
                                           DefaultPopupSeeder::SeedResult result) mutable {
        if (!result) {
            Log::write(tag, "읽기 실패 reason=" + reason + " why=" + result.error().logReason() +
                                " — 가지고 있던 목록을 그대로 쓴다");
            completion(false);
            return;
        }
        if (self->session_->userID() != uid) {
            completion(false);
            return;
        }
        self->store(reason, uid, epoch, started, result->seeded, result->rows,
                    std::move(completion));
    });
}

void ActivePopupSettings::store(const std::string& reason, const std::string& userID,
                                std::uint64_t epoch, double started, bool seeded,
                                const std::vector<Json>& rows, Completion<void(bool)> completion) {
    std::vector<PopupSetting> parsed;
    for (const auto& row : rows) {
        if (json::boolean(row, "enabled") != false) {
            parsed.push_back(PopupSetting::parse(row));
        }
    }
    bool current;
    {
        std::lock_guard lock(mutex_);
        // The account may have changed since the check above: only a list of the user who is
        // signed in now, loaded since the last reset, may be put in force. The session read is a
        // short leaf lock of its own.
        current = epoch == epoch_ && session_->userID() == userID;
        if (current) {
            settings_ = parsed;
            loadedAt_ = clock_();
            owner_ = userID;
        }
    }
    if (!current) {
        completion(false);
        return;
    }
    auto count = [&](auto predicate) {
        return std::to_string(std::count_if(parsed.begin(), parsed.end(), predicate));
    };
    char ms[400];
    auto msEnd = std::to_chars(ms, ms + sizeof ms, (clock_() - started) * 1000.0,
                               std::chars_format::fixed, 0)
                     .ptr;
    Log::write(
        tag, "읽음 reason=" + reason + " rows=" + std::to_string(rows.size()) +
                 " enabled=" + std::to_string(parsed.size()) +
                 " word=" + count([](const auto& s) { return s.shows(PopupInput::word); }) +
                 " sentence=" + count([](const auto& s) { return s.shows(PopupInput::sentence); }) +
                 " save=" + count([](const auto& s) { return s.save(); }) +
                 " seeded=" + (seeded ? "true" : "false") + " ms=" + std::string(ms, msEnd));
    completion(true);
}

void ActivePopupSettings::reset() {
    std::lock_guard lock(mutex_);
    settings_ = PopupSetting::fallback();
    loadedAt_.reset();
    owner_.reset();
    ++epoch_;
}

}  // namespace parlendo
