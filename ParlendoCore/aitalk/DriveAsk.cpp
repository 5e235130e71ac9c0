#include "aitalk/DriveAsk.h"

#include "foundation/Overloaded.h"
#include "foundation/PyText.h"
#include "projects/DriveLimits.h"

namespace parlendo {

namespace {

constexpr const char* kPopupPath =
    "/rest/v1/drive_popups?select=*&is_active=eq.true&deleted_at=is.null&limit=1";

// The failure of a popup lookup step: a stale or unmapped result counts as a lost sign-in.
DriveFailure lookupFailure(const CallFailure& failure) {
    auto mapped = DriveErrors::from(DriveError(failure), "server_error");
    return mapped ? *mapped : DriveFailure("auth_required");
}

// A reason word the server may pass through: 1 to 40 lower-case letters and underscores.
bool safeReason(const std::string& reason) {
    if (reason.empty() || reason.size() > 40) {
        return false;
    }
    for (char c : reason) {
        if (!((c >= 'a' && c <= 'z') || c == '_')) {
            return false;
        }
    }
    return true;
}

std::string cut(const std::string& text, std::int64_t max) {
    return PyText::prefix(PyText::strip(text), static_cast<size_t>(max));
}

}  // namespace

const char* toString(AskMode mode) {
    switch (mode) {
        case AskMode::document:
            return "document";
        case AskMode::selectionOnly:
            return "selection_only";
    }
    return "document";
}

std::optional<AskMode> askModeFromString(std::string_view text) {
    if (text == "document") {
        return AskMode::document;
    }
    if (text == "selection_only") {
        return AskMode::selectionOnly;
    }
    return std::nullopt;
}

const std::set<std::string, std::less<>>& DriveAsk::quotaScopes() {
    static const std::set<std::string, std::less<>> scopes{"minute", "day", "provider"};
    return scopes;
}

DriveAsk::DriveAsk(std::shared_ptr<DetailedServerCalling> edge, std::shared_ptr<DriveService> drive,
                   std::string appVersion, std::shared_ptr<const MonotonicClock> clock)
    : edge_(std::move(edge)),
      drive_(std::move(drive)),
      appVersion_(std::move(appVersion)),
      clock_(clock ? std::move(clock) : SystemClock::shared()) {}

void DriveAsk::invalidate() {
    std::lock_guard lock(mutex_);
    active_.reset();
    ++revision_;
}

void DriveAsk::store(std::uint64_t revision, const std::string& user,
                     const std::optional<ActivePopup>& popup) {
    std::lock_guard lock(mutex_);
    if (revision_ == revision) {
        active_ = Cached{clock_->uptime(), user, popup};
    }
}

void DriveAsk::activePopup(Completion<void(PopupLookup)> done) {
    const auto user = drive_->session()->userID();
    if (!user) {
        done(fail(DriveFailure("auth_required")));
        return;
    }
    std::uint64_t revision = 0;
    {
        std::lock_guard lock(mutex_);
        if (active_ && active_->user == *user && clock_->uptime() - active_->at < popupTTL) {
            auto popup = active_->popup;
            done(std::move(popup));
            return;
        }
        revision = revision_;
    }
    std::weak_ptr<DriveAsk> weak = weak_from_this();
    drive_->server()->rows(
        kPopupPath, popupTimeout,
        [weak, drive = drive_, revision, user = *user,
         done = std::move(done)](RowsResult rows) mutable {
            if (!rows) {
                done(fail(lookupFailure(rows.error())));
                return;
            }
            auto finish = [weak, revision, user](std::optional<ActivePopup> popup) {
                if (auto self = weak.lock()) {
                    self->store(revision, user, popup);
                }
                return popup;
            };
            const Json* first = rows->empty() ? nullptr : &rows->front();
            auto id = first ? json::string(*first, "id") : std::nullopt;
            auto driveID = first ? json::string(*first, "drive_id") : std::nullopt;
            if (!id || !driveID) {
                done(finish(std::nullopt));
                return;
            }
            ActivePopup popup{*id, *driveID, json::string(*first, "name").value_or(""), ""};
            drive->driveRow(*driveID, [popup = std::move(popup), finish, done = std::move(done)](
                                          Result<std::optional<Json>, CallFailure> row) mutable {
                if (!row) {
                    done(fail(lookupFailure(row.error())));
                    return;
                }
                if (!*row) {
                    done(finish(std::nullopt));
                    return;
                }
                popup.driveName = json::string(**row, "name").value_or("");
                done(finish(std::move(popup)));
            });
        });
}

void DriveAsk::ask(ActivePopup popup, std::string selection, AskMode mode,
                   std::optional<PageHint> hint, Completion<void(AskResult)> done) {
    const std::string text = cut(selection, DriveLimits::selectionMax);
    if (text.empty()) {
        done(fail(DriveFailure("selection_len_out_of_range")));
        return;
    }
    if (mode == AskMode::document && !hint) {
        done(AskOutcome(AskOutcomes::NotFound{}));
        return;
    }
    Json body{{"popup_id", popup.popupID},
              {"selection", text},
              {"mode", toString(mode)},
              {"app_version", appVersion_}};
    if (mode == AskMode::document) {
        body["document_id"] = PyText::lower(hint->documentID);
        body["page_no"] = hint->page;
    }
    call(std::move(body), true, std::move(done));
}

void DriveAsk::followup(std::string thread, std::string message, Completion<void(AskResult)> done) {
    const std::string text = cut(message, DriveLimits::messageMax);
    if (text.empty()) {
        done(fail(DriveFailure("message_len_out_of_range")));
        return;
    }
    call(Json{{"thread_id", thread}, {"message", text}, {"app_version", appVersion_}}, false,
         std::move(done));
}

void DriveAsk::call(Json body, bool first, Completion<void(AskResult)> done) {
    edge_->callDetailed(askPath, "POST", std::move(body), {}, askTimeout,
                        [first, done = std::move(done)](DetailedCallResult result) mutable {
                            if (!result) {
                                done(fail(failure(result.error())));
                                return;
                            }
                            done(readReply(*result, first));
                        });
}

AskResult DriveAsk::readReply(const std::string& body, bool first) {
    auto reply = json::parse(body);
    auto status = reply ? json::string(*reply, "status") : std::nullopt;
    if (!status) {
        return fail(DriveFailure("server_error"));
    }
    if (*status == "ok") {
        AskOutcomes::Answer answer{json::string(*reply, "answer").value_or(""), std::nullopt};
        if (first) {
            answer.threadID = json::string(*reply, "thread_id");
        }
        return AskOutcome(std::move(answer));
    }
    if (*status == "not_found") {
        return AskOutcome(AskOutcomes::NotFound{});
    }
    std::string reason = json::string(*reply, "reason").value_or(*status);
    if (!safeReason(reason)) {
        reason = "other";
    }
    return AskOutcome(AskOutcomes::Rejected{std::move(reason)});
}

DriveFailure DriveAsk::failure(const CallFailureDetail& detail) {
    if (auto code = detail.contractCode()) {
        return DriveFailure(*code == "app_update_required" ? "app_update_required"
                                                           : "server_error");
    }
    return std::visit(
        overloaded{
            [](const CallFailure::AuthRequired&) { return DriveFailure("auth_required"); },
            [](const CallFailure::Stale&) { return DriveFailure("auth_required"); },
            [](const CallFailure::Timeout&) { return DriveFailure("upstream_timeout"); },
            [&](const CallFailure::Unavailable&) {
                return DriveFailure(detail.status ? "server_error" : "network_unavailable");
            },
            [&](const CallFailure::Quota&) {
                auto scope = detail.quotaScope();
                if (scope && quotaScopes().count(*scope) == 0) {
                    scope.reset();
                }
                return DriveFailure("quota_exceeded", scope);
            },
            [](const CallFailure::Rejected&) { return DriveFailure("server_error"); },
            [](const CallFailure::RejectedDetail&) { return DriveFailure("server_error"); },
            [](const CallFailure::BadShape&) { return DriveFailure("server_error"); },
        },
        detail.failure.value());
}

}  // namespace parlendo
