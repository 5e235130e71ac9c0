#include "popups/CurlDraftTransport.h"

#include "foundation/Log.h"

#include <curl/curl.h>

namespace parlendo {
namespace {

constexpr const char* tag = "draft";

// A URL with an http or https scheme and a host.
bool usable(const std::string& url) {
    auto resolved = CurlSession::resolve(url, url);
    return resolved && !resolved->host.empty() &&
           (resolved->url.starts_with("https://") || resolved->url.starts_with("http://"));
}

}  // namespace

struct CurlDraftTransport::Transfer {
    CurlSession::EasyHandle handle;
    curl_slist* headers = nullptr;
    std::optional<std::string> body;  // curl reads it in place while the transfer runs
    CurlSession::Received received;
    Completion<void(DraftResponse)> completion;

    ~Transfer() {
        handle.reset();  // before the headers it points to
        curl_slist_free_all(headers);
    }

    void finish(CURLcode result) {
        auto done = std::move(completion);
        if (received.tooLarge) {
            Log::write(tag, "answer too large limit_bytes=" + std::to_string(received.limit));
            done(DraftResponse::unreachable());
        } else if (result == CURLE_OPERATION_TIMEDOUT) {
            done(DraftResponse::timedOut());
        } else if (result != CURLE_OK) {
            done(DraftResponse::unreachable());
        } else {
            long status = 0;
            curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &status);
            done(DraftResponse::http(static_cast<int>(status), std::move(received.body)));
        }
    }
};

CurlDraftTransport::CurlDraftTransport(std::shared_ptr<CurlSession> session)
    : session_(std::move(session)) {}

void CurlDraftTransport::post(std::string url, HttpHeaders headers, std::string body,
                              double timeout, Completion<void(DraftResponse)> completion) {
    auto transfer = std::make_unique<Transfer>();
    transfer->completion = std::move(completion);
    transfer->body = std::move(body);
    if (usable(url)) {
        transfer->headers = CurlSession::headerList(headers);
        if (transfer->headers == nullptr) {
            Log::write(tag, "request refused: a header holds a line break or NUL");
        } else {
            transfer->handle = session_->takeEasy();
        }
    }
    CURL* easy = transfer->handle.get();
    if (easy == nullptr) {
        session_->post(
            [transfer = std::move(transfer)]() mutable { transfer->finish(CURLE_FAILED_INIT); });
        return;
    }

    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    session_->configure(easy, timeout);
    CurlSession::collect(easy, &transfer->received, CurlSession::apiAnswerLimit);
    CurlSession::setMethod(easy, "POST", transfer->body);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers);

    session_->perform(easy, [transfer = std::move(transfer)](CURLcode result) mutable {
        transfer->finish(result);
    });
}

}  // namespace parlendo
