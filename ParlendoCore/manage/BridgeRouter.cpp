#include "manage/BridgeRouter.h"

#include "foundation/Log.h"
#include "foundation/Overloaded.h"
#include "manage/ManageContract.h"

#include <exception>
#include <functional>

namespace parlendo {

namespace {

std::string textOr(const Json* object, const char* key) {
    if (object == nullptr || !object->is_object()) {
        return "-";
    }
    auto it = object->find(key);
    return it != object->end() && it->is_string() ? it->get<std::string>() : "-";
}

bool okFlag(const Json& result) {
    if (!result.is_object()) {
        return true;
    }
    auto it = result.find("ok");
    return it != result.end() && it->is_boolean() && it->get<bool>();
}

Json requestFailed() {
    return {{"ok", false}, {"msg", "REQUEST_FAILED"}, {"error_class", "request"}};
}

}  // namespace

std::shared_ptr<BridgeRouter> BridgeRouter::make(const Groups& groups,
                                                 std::shared_ptr<const MonotonicClock> clock,
                                                 ExecutorPtr main) {
    return std::shared_ptr<BridgeRouter>(new BridgeRouter(
        groups, clock ? std::move(clock) : SystemClock::shared(), std::move(main)));
}

BridgeRouter::BridgeRouter(const Groups& groups, std::shared_ptr<const MonotonicClock> clock,
                           ExecutorPtr main)
    : clock_(std::move(clock)), main_(std::move(main)) {
    for (const auto& group : groups) {
        if (!group) {
            continue;
        }
        for (auto& [name, entry] : group->routes()) {
            if (entries_.emplace(name, std::move(entry)).second) {
                names_.push_back(name);
            }
        }
        for (const auto& [name, mode] : group->logModes()) {
            logModes_.emplace(name, mode);
        }
    }
}

std::map<std::string, BridgeStatus> BridgeRouter::table() const {
    std::map<std::string, BridgeStatus> out;
    for (const auto& [name, entry] : entries_) {
        out.emplace(name, entry.isImplemented() ? BridgeStatus::implemented : BridgeStatus::notYet);
    }
    return out;
}

void BridgeRouter::respond(const std::string& name, std::vector<Json> args,
                           Completion<void(Json)> completion) {
    const double start = clock_->uptime();
    auto it = entries_.find(name);
    if (it == entries_.end()) {
        finish(name, start, BridgeReply::requestFailed("unknown_method"), std::move(completion));
        return;
    }
    if (!it->second.isImplemented()) {
        finish(name, start, BridgeReply::requestFailed("not_yet_on_mac"), std::move(completion));
        return;
    }
    // The handler answers through `answered`, which routes the reply back to this router (held
    // weakly: a router that is gone answers the page without logging).
    struct Pending {
        Completion<void(Json)> completion;
        bool answered = false;
    };
    auto pending = std::make_shared<Pending>(Pending{std::move(completion)});
    std::weak_ptr<BridgeRouter> weak = weak_from_this();
    Completion<void(BridgeReply)> answered = [weak, name, start, pending](BridgeReply reply) {
        auto deliver = [weak, name, start, pending, reply = std::move(reply)]() mutable {
            pending->answered = true;
            if (auto self = weak.lock()) {
                self->finish(name, start, reply, std::move(pending->completion));
            } else {
                pending->completion(envelope(name, reply));
            }
        };
        auto self = weak.lock();
        if (self && self->main_ && !self->main_->isCurrent()) {
            self->main_->post(std::move(deliver));
        } else {
            deliver();
        }
    };
    const BridgeArgs bridgeArgs(std::move(args));
    try {
        it->second.handler()(bridgeArgs, std::move(answered));
    } catch (const std::exception&) {
        // A handler that throws before answering still owes the page an answer.
        if (!pending->answered && pending->completion) {
            pending->answered = true;
            finish(name, start, BridgeReply::requestFailed("handler_error"),
                   std::move(pending->completion));
        }
    }
}

void BridgeRouter::handle(const std::string& name, std::vector<Json> args,
                          Completion<void(Json)> completion) {
    respond(name, std::move(args), [completion = std::move(completion)](Json result) mutable {
        completion(wrapped(std::move(result)));
    });
}

Json BridgeRouter::wrapped(Json result) {
    if (result.is_object()) {
        return result;
    }
    return Json{{"ok", true}, {"data", std::move(result)}};
}

Json BridgeRouter::envelope(const std::string& name, const BridgeReply& reply) {
    return std::visit(
        overloaded{
            [](const BridgeReply::Ok& ok) -> Json {
                return {{"ok", true}, {"data", ok.value}};
            },
            [&](const BridgeReply::Failed& failed) -> Json {
                Log::write("manage",
                           name + " 실패 reason=" + ManageContract::reason(failed.failure));
                return ManageContract::failure(failed.failure);
            },
            [](const BridgeReply::AuthScreenFailed& screen) -> Json {
                return {{"ok", false}, {"msg", screen.message}};
            },
            [&](const BridgeReply::RequestFailed& request) -> Json {
                Log::write("manage", name + " 실패 reason=" + request.reason);
                return requestFailed();
            },
            [&](const BridgeReply::Custom& custom) -> Json {
                const Json& v = custom.value;
                if (v.is_object()) {
                    auto ok = v.find("ok");
                    if (ok != v.end() && ok->is_boolean() && !ok->get<bool>()) {
                        const Json* save = json::object(v, "save");
                        Log::write("manage", name + " 실패 msg=" + textOr(&v, "msg") +
                                                 " code=" + textOr(save, "error_code") +
                                                 " state=" + textOr(save, "state"));
                    }
                }
                return v;
            },
        },
        reply.value());
}

void BridgeRouter::finish(const std::string& name, double start, const BridgeReply& reply,
                          Completion<void(Json)> completion) {
    Json result = envelope(name, reply);
    const double elapsed = (clock_->uptime() - start) * 1000.0;
    logCall(name, result, elapsed > 0 ? static_cast<int>(elapsed) : 0);
    completion(std::move(result));
}

void BridgeRouter::logCall(const std::string& name, const Json& result, int ms) {
    const bool ok = okFlag(result);
    const std::string line = name + " ok=" + (ok ? "true" : "false") + " ms=" + std::to_string(ms);
    auto mode = logModes_.find(name);
    if (mode == logModes_.end()) {
        Log::write("manage", line);
        return;
    }
    switch (mode->second) {
        case BridgeLogMode::selfLogged:
            if (!ok) {
                Log::write("manage", line);
            }
            return;
        case BridgeLogMode::onChange: {
            const std::optional<std::string> text = json::dump(result);
            const std::optional<size_t> hash =
                text ? std::optional<size_t>(std::hash<std::string>{}(*text)) : std::nullopt;
            auto last = lastLogged_.find(name);
            if (ok && hash && last != lastLogged_.end() && last->second == *hash) {
                ++quiet_[name];
                return;
            }
            const int quiet = quiet_[name];
            Log::write("manage", quiet >= 1 ? line + " quiet=" + std::to_string(quiet) : line);
            quiet_[name] = 0;
            if (ok && hash) {
                lastLogged_[name] = *hash;
            } else {
                lastLogged_.erase(name);
            }
            return;
        }
    }
}

}  // namespace parlendo
