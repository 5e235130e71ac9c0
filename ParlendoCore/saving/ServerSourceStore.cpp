#include "saving/ServerSourceStore.h"

#include "foundation/Log.h"
#include "server/PostgRESTFilter.h"

namespace parlendo {

namespace {

std::string encoded(const std::string& value) {
    std::string out = PostgRESTFilter::value(value);
    return out.empty() ? value : out;
}

// The answer row of an insert with a representation: the object itself, or the first element of
// an array of objects; an empty object for anything else.
Json answerRow(std::string_view body) {
    const auto parsed = json::parse(body);
    if (parsed && parsed->is_object() && !parsed->empty()) {
        return *parsed;
    }
    if (parsed && parsed->is_array() && !parsed->empty() && parsed->front().is_object() &&
        !parsed->front().empty()) {
        return parsed->front();
    }
    return Json::object();
}

}  // namespace

ServerSourceStore::ServerSourceStore(std::shared_ptr<ServerCalling> server,
                                     std::shared_ptr<SessionProviding> session,
                                     std::shared_ptr<const WallClock> clock)
    : server_(std::move(server)),
      session_(std::move(session)),
      clock_(clock ? std::move(clock) : SystemClock::shared()) {}

void ServerSourceStore::find(std::optional<std::string> url, std::string title,
                             Completion<void(SourceFindResult)> completion) {
    const auto userID = session_->userID();
    if (!userID) {
        completion(fail(CallFailure::authRequired()));
        return;
    }
    std::string path = std::string(table) +
                       "?select=source_id,title,url&deleted_at=is.null&limit=1&user_id=eq." +
                       PostgRESTFilter::value(*userID);
    if (url && !url->empty()) {
        path += "&url=eq." + encoded(*url);
    } else {
        path += "&title=eq." + encoded(title);
    }
    server_->rows(
        std::move(path), timeout,
        [title = std::move(title), completion = std::move(completion)](RowsResult result) mutable {
            if (!result) {
                completion(fail(std::move(result.error())));
                return;
            }
            if (result->empty()) {
                completion(std::optional<SourceRow>());
                return;
            }
            const Json& row = result->front();
            auto id = json::string(row, "source_id");
            if (!id) {
                completion(fail(CallFailure::badShape()));
                return;
            }
            SourceRow found{std::move(*id), json::string(row, "title").value_or(title),
                            json::string(row, "url")};
            completion(std::optional<SourceRow>(std::move(found)));
        });
}

void ServerSourceStore::create(std::string id, std::string title, std::optional<std::string> url,
                               Completion<void(std::optional<SourceRow>)> completion) {
    const auto userID = session_->userID();
    if (!userID) {
        completion(std::nullopt);
        return;
    }
    Json body{{"source_id", id},
              {"user_id", *userID},
              {"title", title},
              {"url", url ? Json(*url) : Json(nullptr)}};
    // The store keeps no state, so the duplicate path may search through a copy of its parts.
    auto server = server_;
    auto session = session_;
    auto clock = clock_;
    server_->call(
        std::string(table), "POST", std::move(body),
        HttpHeaders{{"Prefer", "return=representation"}}, timeout,
        [server, session, clock, id = std::move(id), title = std::move(title), url = std::move(url),
         completion = std::move(completion)](CallResult result) mutable {
            if (result) {
                const Json row = answerRow(*result);
                completion(SourceRow{json::string(row, "source_id").value_or(id),
                                     json::string(row, "title").value_or(title),
                                     json::string(row, "url")});
                return;
            }
            const auto* detail = result.error().as<CallFailure::RejectedDetail>();
            if (detail && detail->rejection.code == "23505") {
                ServerSourceStore again(server, session, clock);
                again.find(std::move(url), std::move(title),
                           [completion = std::move(completion)](SourceFindResult found) mutable {
                               completion(found ? std::move(*found) : std::nullopt);
                           });
                return;
            }
            Log::write("source", "저장 실패 " + result.error().logReason());
            completion(std::nullopt);
        });
}

void ServerSourceStore::touch(std::string id, Completion<void()> completion) {
    const auto userID = session_->userID();
    if (!userID) {
        completion();
        return;
    }
    std::string path = std::string(table) + "?user_id=eq." + PostgRESTFilter::value(*userID) +
                       "&source_id=eq." + PostgRESTFilter::value(id);
    server_->call(std::move(path), "PATCH", Json{{"last_seen_at", isoTimestamp(clock_->now())}},
                  timeout,
                  [completion = std::move(completion)](CallResult) mutable { completion(); });
}

std::string ServerSourceStore::isoTimestamp(double seconds) {
    return parlendo::isoTimestamp(seconds);
}

}  // namespace parlendo
