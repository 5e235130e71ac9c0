#include "auth/CurlAuthExchange.h"

#include "foundation/Log.h"
#include "foundation/Text.h"
#include "foundation/WorkerQueue.h"
#include "server/ServerContract.h"

#include <atomic>

namespace parlendo {

namespace {

// Shared by a transfer and its watchdog.
struct Watch {
    std::atomic<bool> finished{false};
    std::atomic<bool> cancelled{false};
};

}  // namespace

struct CurlAuthExchange::Transfer {
    CurlSession::EasyHandle handle;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    std::optional<std::string> body;
    CurlSession::Received received;
    std::shared_ptr<Watch> watch = std::make_shared<Watch>();
    std::string path;
    std::shared_ptr<ServerGate> gate;
    std::shared_ptr<const WallClock> clock;
    Completion<void(AuthAnswer)> completion;

    ~Transfer() {
        handle.reset();  // before the headers it points to
        curl_slist_free_all(headers);
    }

    // Called by curl while the transfer runs; a non-zero answer aborts it.
    static int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<Watch*>(user)->cancelled.load() ? 1 : 0;
    }

    void finish(CURLcode result) {
        watch->finished = true;
        AuthAnswer answer;
        if (result == CURLE_OK) {
            long status = 0;
            curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
            answer.status = static_cast<int>(status);
            answer.body = std::move(received.body);
            if (received.retryAfter) {
                answer.headers["Retry-After"] = *received.retryAfter;
            }
        } else {
            answer.transportFailed = true;
        }
        if (received.tooLarge) {
            Log::write("account",
                       "auth answer too large — 끊음 path=" + (path.empty() ? "-" : path) +
                           " limit_bytes=" + std::to_string(received.limit));
        }
        if (gate && !answer.transportFailed && answer.status >= 400) {
            report(*gate, answer, path, clock->now());
        }
        auto done = std::move(completion);
        done(std::move(answer));
    }
};

CurlAuthExchange::CurlAuthExchange(Services services) : services_(std::move(services)) {
    if (!services_.watchdog) {
        services_.watchdog = SerialQueue::timers();
    }
    if (!services_.clock) {
        services_.clock = SystemClock::shared();
    }
}

void CurlAuthExchange::report(ServerGate& gate, const AuthAnswer& answer, const std::string& path,
                              double now) {
    auto verdict = ServerContract::classify(answer.status, answer.body, answer.headers, path, now);
    if (verdict) {
        gate.observe(*verdict, std::nullopt, answer.status, std::nullopt, "auth");
    }
}

void CurlAuthExchange::start(AuthRequest request, Completion<void(AuthAnswer)> completion) const {
    auto transfer = std::make_unique<Transfer>();
    transfer->path = request.path;
    transfer->gate = services_.gate;
    transfer->clock = services_.clock;
    transfer->completion = std::move(completion);
    transfer->body = std::move(request.body);
    // A field with a line break or NUL would add header lines of its own: never sent.
    transfer->headers = CurlSession::headerList(request.headers);
    if (transfer->headers == nullptr) {
        Log::write("account", "auth request refused — 헤더에 줄바꿈이나 NUL이 있음 path=" +
                                  (request.path.empty() ? "-" : request.path));
    } else {
        transfer->handle = services_.session->takeEasy();
        transfer->easy = transfer->handle.get();
    }
    CURL* easy = transfer->easy;
    if (easy == nullptr) {
        services_.session->post(
            [transfer = std::move(transfer)]() mutable { transfer->finish(CURLE_FAILED_INIT); });
        return;
    }

    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    services_.session->configure(easy, request.timeout);
    CurlSession::collect(easy, &transfer->received, CurlSession::apiAnswerLimit);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, transfer->watch.get());

    CurlSession::setMethod(easy, request.method, transfer->body);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers);

    // The watchdog: a request still running after its time-out plus the grace is cut off. curl
    // then ends it with an error, which the caller sees like any other transport failure.
    std::weak_ptr<Watch> watch = transfer->watch;
    std::weak_ptr<CurlSession> session = services_.session;
    std::string path = request.path.empty() ? "-" : request.path;
    services_.watchdog->postAfter(request.timeout + watchdogGrace, [watch, session, path] {
        auto live = watch.lock();
        if (!live || live->finished) {
            return;
        }
        Log::write("account", "auth request deadline — 끊음 path=" + path);
        live->cancelled = true;
        if (auto running = session.lock()) {
            running->post([] {});  // wakes the session so that curl asks the transfer again
        }
    });

    services_.session->perform(easy, [transfer = std::move(transfer)](CURLcode result) mutable {
        transfer->finish(result);
    });
}

}  // namespace parlendo
