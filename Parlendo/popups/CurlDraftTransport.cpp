#include "popups/CurlDraftTransport.h"

#include "server/CurlSession.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace parlendo {
namespace {

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

struct Answer {
    std::string body;
    bool tooLong = false;
};

size_t collect(char* data, size_t size, size_t count, void* user) {
    auto* answer = static_cast<Answer*>(user);
    size_t bytes = size * count;
    if (answer->body.size() + bytes > CurlDraftTransport::maxAnswerBytes) {
        answer->tooLong = true;
        return 0;  // stops the transfer
    }
    answer->body.append(data, bytes);
    return bytes;
}

// A URL curl accepts, with an http or https scheme and a host.
bool usable(const std::string& url) {
    std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return false;
    }
    char* scheme = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) {
        return false;
    }
    std::string text(scheme);
    curl_free(scheme);
    return text == "https" || text == "http";
}

}  // namespace

CurlDraftTransport::CurlDraftTransport(std::optional<std::string> trustedCAFile)
    : trustedCAFile_(std::move(trustedCAFile)), queue_("parlendo.draft", 2) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void CurlDraftTransport::post(std::string url, HttpHeaders headers, std::string body,
                              double timeout, Completion<void(DraftResponse)> completion) {
    queue_.post([this, url = std::move(url), headers = std::move(headers), body = std::move(body),
                 timeout, completion = std::move(completion)]() mutable {
        completion(perform(url, headers, body, timeout));
    });
}

DraftResponse CurlDraftTransport::perform(const std::string& url, const HttpHeaders& headers,
                                          const std::string& body, double timeout) const {
    if (!usable(url)) {
        return DraftResponse::unreachable();
    }
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        return DraftResponse::unreachable();
    }
    std::unique_ptr<curl_slist, ListDeleter> list(CurlSession::headerList(headers));

    Answer answer;
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_POST, 1L);
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, list.get());
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout * 1000.0));
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &answer);
    if (trustedCAFile_) {
        curl_easy_setopt(e, CURLOPT_CAINFO, trustedCAFile_->c_str());
    }

    CURLcode code = curl_easy_perform(e);
    if (code == CURLE_OPERATION_TIMEDOUT) {
        return DraftResponse::timedOut();
    }
    if (code != CURLE_OK) {
        return DraftResponse::unreachable();
    }
    long status = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    return DraftResponse::http(static_cast<int>(status), std::move(answer.body));
}

}  // namespace parlendo
