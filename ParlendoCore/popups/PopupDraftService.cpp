#include "popups/PopupDraftService.h"

#include "foundation/Clock.h"
#include "foundation/Log.h"
#include "foundation/Overloaded.h"
#include "foundation/Text.h"
#include "foundation/WorkerQueue.h"
#include "popups/PopupDraftRules.h"

#include <cmath>
#include <optional>

namespace parlendo {
namespace {

constexpr const char* tag = "draft";

Json reply(const std::string& status, std::optional<std::string> reason = std::nullopt) {
    Json out = Json::object();
    out["status"] = status;
    if (reason) {
        out["reason"] = *reason;
    }
    return out;
}

const char* rejectionReason(int status) {
    switch (status) {
        case 400:
        case 401:
        case 403:
            return "key_or_request_rejected";
        case 404:
            return "model_unavailable";
        case 429:
            return "rate_limited";
        default:
            return "provider_unavailable";
    }
}

}  // namespace

struct PopupDraftService::Shared : std::enable_shared_from_this<PopupDraftService::Shared> {
    std::shared_ptr<ConnectionSettings> connection;
    std::shared_ptr<SessionProviding> session;
    std::shared_ptr<DraftTransport> transport;
    std::shared_ptr<Executor> work;
    std::string endpoint;
    UptimeClock clock;

    long long msSince(double started) const {
        return static_cast<long long>(std::trunc((clock() - started) * 1000.0));
    }

    // Logs the "done" line of a reply without a proposal and completes with it.
    void finish(Completion<void(Json)>& completion, const std::string& status,
                std::optional<std::string> reason, std::optional<int> http, double started) const {
        Log::write(tag, "done status=" + status + " reason=" + reason.value_or("-") +
                            " http=" + (http ? std::to_string(*http) : "-") +
                            " ms=" + std::to_string(msSince(started)));
        completion(reply(status, std::move(reason)));
    }

    // Runs `task` on the work executor (the global pool when none was given).
    void post(Task task) const {
        if (work) {
            work->post(std::move(task));
        } else {
            ThreadPool::global().post(std::move(task));
        }
    }

    void run(const std::string& description, Completion<void(Json)> completion) const;
    void answered(DraftResponse response, const std::string& userID, const std::string& key,
                  double started, Completion<void(Json)> completion) const;
};

PopupDraftService::PopupDraftService(std::shared_ptr<ConnectionSettings> connection,
                                     std::shared_ptr<SessionProviding> session,
                                     std::shared_ptr<DraftTransport> transport,
                                     std::shared_ptr<Executor> work, std::string endpoint,
                                     UptimeClock clock)
    : shared_(std::make_shared<Shared>()) {
    shared_->connection = std::move(connection);
    shared_->session = std::move(session);
    shared_->transport = std::move(transport);
    shared_->work = std::move(work);
    shared_->endpoint = std::move(endpoint);
    shared_->clock = clock ? std::move(clock) : [] {
        return SystemClock::shared()->uptime();
    };
}

std::string PopupDraftService::defaultEndpoint() {
    return PopupDraftRules::endpoint();
}

void PopupDraftService::propose(std::string description, Completion<void(Json)> completion) {
    shared_->post([shared = shared_, description = std::move(description),
                   completion = std::move(completion)]() mutable {
        shared->run(description, std::move(completion));
    });
}

void PopupDraftService::Shared::run(const std::string& description,
                                    Completion<void(Json)> completion) const {
    std::string trimmed(text::trimWhitespaceAndNewlines(description));
    const size_t length = text::characterCount(trimmed);
    if (trimmed.empty() || length > PopupDraftRules::descriptionMax) {
        finish(completion, "error", "invalid_description", std::nullopt, clock());
        return;
    }
    auto userID = session->userID();
    if (!userID) {
        finish(completion, "error", "no_session", std::nullopt, clock());
        return;
    }
    auto key = connection->secret();
    if (!key) {
        finish(completion, "no_key", std::nullopt, std::nullopt, clock());
        return;
    }
    const double started = clock();
    Log::write(tag, "start len=" + std::to_string(length) + " model=" + PopupDraftRules::model);
    auto body = json::dump(PopupDraftRules::requestBody(trimmed));
    if (!body) {
        finish(completion, "error", "invalid_description", std::nullopt, started);
        return;
    }
    HttpHeaders headers{{"x-goog-api-key", *key}, {"Content-Type", "application/json"}};
    // The answer leaves the transport's thread before the key is read again: a keychain read
    // may block, and the transport's thread carries every other request too.
    transport->post(endpoint, std::move(headers), std::move(*body), PopupDraftRules::timeout,
                    [self = shared_from_this(), uid = *userID, key = *key, started,
                     completion = std::move(completion)](DraftResponse response) mutable {
                        self->post([self, response = std::move(response), uid = std::move(uid),
                                    key = std::move(key), started,
                                    completion = std::move(completion)]() mutable {
                            self->answered(std::move(response), uid, key, started,
                                           std::move(completion));
                        });
                    });
}

void PopupDraftService::Shared::answered(DraftResponse response, const std::string& userID,
                                         const std::string& key, double started,
                                         Completion<void(Json)> completion) const {
    // The answer belongs to the user and key it was asked with; anything else is discarded.
    if (session->userID() != userID || connection->secret() != key) {
        finish(completion, "error", "stale_credentials", std::nullopt, started);
        return;
    }
    const auto* http = response.as<DraftResponse::Http>();
    if (!http) {
        finish(completion, "error",
               response.as<DraftResponse::TimedOut>() ? "timeout" : "unreachable", std::nullopt,
               started);
        return;
    }
    if (http->status < 200 || http->status > 299) {
        finish(completion, "error", rejectionReason(http->status), http->status, started);
        return;
    }
    auto call = PopupDraftRules::functionCall(http->body);
    if (call.as<PopupDraftRules::Call::NoCall>()) {
        finish(completion, "no_call", std::nullopt, http->status, started);
        return;
    }
    const auto* found = call.as<PopupDraftRules::Call::Found>();
    auto proposal =
        found ? PopupDraftRules::validate(found->args ? &*found->args : nullptr) : std::nullopt;
    if (!proposal) {
        finish(completion, "error", "malformed_proposal", http->status, started);
        return;
    }
    std::string status = json::boolean(*proposal, "ok").value_or(false) ? "ok" : "rejected";
    (*proposal)["status"] = status;
    Log::write(tag, "done status=" + status +
                        " contents=" + std::to_string((*proposal)["contents"].size()) + " http=" +
                        std::to_string(http->status) + " ms=" + std::to_string(msSince(started)));
    completion(std::move(*proposal));
}

}  // namespace parlendo
