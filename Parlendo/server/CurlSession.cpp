#include "server/CurlSession.h"

#include "foundation/Text.h"

#include <pthread.h>

#include <cmath>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace parlendo {

namespace {
void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct UrlHandle {
    CURLU* url = curl_url();
    UrlHandle() = default;
    ~UrlHandle() { curl_url_cleanup(url); }
    UrlHandle(const UrlHandle&) = delete;
    UrlHandle& operator=(const UrlHandle&) = delete;

    std::optional<std::string> get(CURLUPart part) const {
        char* value = nullptr;
        if (url == nullptr || curl_url_get(url, part, &value, 0) != CURLUE_OK || value == nullptr) {
            return std::nullopt;
        }
        std::string out(value);
        curl_free(value);
        return out;
    }
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* received = static_cast<CurlSession::Received*>(user);
    const size_t bytes = size * count;
    if (bytes > received->limit - received->body.size()) {
        received->tooLarge = true;
        return 0;  // ends the transfer with a write error
    }
    received->body.append(data, bytes);
    return bytes;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* received = static_cast<CurlSession::Received*>(user);
    std::string_view line(data, size * count);
    if (text::startsWith(line, "HTTP/")) {
        received->retryAfter.reset();  // a new response (after 100 Continue) starts over
    } else if (auto colon = line.find(':'); colon != std::string_view::npos) {
        if (text::asciiIEquals(line.substr(0, colon), "Retry-After")) {
            received->retryAfter = std::string(text::trimAscii(line.substr(colon + 1)));
        }
    }
    return size * count;
}
}  // namespace

struct CurlSession::Engine {
    struct Pending {
        CURL* easy;
        UniqueFunction<void(CURLcode)> done;
    };

    std::mutex mutex;
    std::vector<CURL*> spare;  // reset easy handles
    std::vector<Pending> toAdd;
    std::vector<Task> tasks;
    bool stopping = false;
    CURLM* multi = nullptr;
    std::thread thread;
    std::thread::id threadID;
    // Only the session thread touches the transfers it runs.
    std::unordered_map<CURL*, UniqueFunction<void(CURLcode)>> running;

    Engine() {
        multi = curl_multi_init();
        // At most six connections per host, as the platform's sessions do by default; more
        // requests wait for a free connection. curl's own cache size follows the number of
        // transfers running, so a burst would close most of its connections as it drains.
        curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, maxHostConnections);
        curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, maxCachedConnections);
    }
    ~Engine() {
        for (CURL* easy : spare) {
            curl_easy_cleanup(easy);
        }
        if (multi != nullptr) {
            curl_multi_cleanup(multi);
        }
    }

    void wake() { curl_multi_wakeup(multi); }

    void finishAll(CURLcode code) {
        auto all = std::move(running);
        running.clear();
        for (auto& [easy, done] : all) {
            curl_multi_remove_handle(multi, easy);
            done(code);
        }
    }

    void run() {
        pthread_setname_np(pthread_self(), "parlendo.curl");
        for (;;) {
            std::vector<Pending> adds;
            std::vector<Task> work;
            bool stop = false;
            {
                std::lock_guard lock(mutex);
                adds.swap(toAdd);
                work.swap(tasks);
                stop = stopping;
            }
            for (auto& task : work) {
                task();
            }
            for (auto& pending : adds) {
                if (curl_multi_add_handle(multi, pending.easy) != CURLM_OK) {
                    pending.done(CURLE_FAILED_INIT);
                    continue;
                }
                running.emplace(pending.easy, std::move(pending.done));
            }
            if (stop) {
                finishAll(CURLE_ABORTED_BY_CALLBACK);
                return;
            }
            int stillRunning = 0;
            curl_multi_perform(multi, &stillRunning);
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                if (message->msg != CURLMSG_DONE) {
                    continue;
                }
                CURL* easy = message->easy_handle;
                CURLcode result = message->data.result;
                curl_multi_remove_handle(multi, easy);
                auto it = running.find(easy);
                if (it == running.end()) {
                    continue;
                }
                auto done = std::move(it->second);
                running.erase(it);
                done(result);
            }
            {
                std::lock_guard lock(mutex);
                if (!toAdd.empty() || !tasks.empty() || stopping) {
                    continue;
                }
            }
            curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
        }
    }
};

CurlSession::CurlSession(SessionConfiguration configuration,
                         std::optional<std::string> trustedCAFile)
    : configuration_(std::move(configuration)),
      trustedCAFile_(std::move(trustedCAFile)),
      engine_(std::make_shared<Engine>()) {
    globalInit();
    engine_->thread = std::thread([engine = engine_] { engine->run(); });
    engine_->threadID = engine_->thread.get_id();
}

CurlSession::~CurlSession() {
    {
        std::lock_guard lock(engine_->mutex);
        engine_->stopping = true;
    }
    engine_->wake();
    if (std::this_thread::get_id() == engine_->thread.get_id()) {
        engine_->thread.detach();
    } else {
        engine_->thread.join();
    }
}

void CurlSession::configure(CURL* easy, double requestTimeout) const {
    double timeout = requestTimeout > 0 ? requestTimeout : configuration_.requestTimeout;
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(std::ceil(timeout * 1000.0)));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // Ephemeral: no cookie engine is switched on and nothing is cached; the default trust store
    // unless a test gave its own.
    if (trustedCAFile_) {
        curl_easy_setopt(easy, CURLOPT_CAINFO, trustedCAFile_->c_str());
        curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
    }
    if (configuration_.maximumTLSVersion == ServerSessions::tls12) {
        curl_easy_setopt(easy, CURLOPT_SSLVERSION,
                         static_cast<long>(CURL_SSLVERSION_DEFAULT) |
                             static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
    }
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
}

void CurlSession::perform(CURL* easy, UniqueFunction<void(CURLcode)> done) {
    {
        std::lock_guard lock(engine_->mutex);
        if (!engine_->stopping) {
            engine_->toAdd.push_back(Engine::Pending{easy, std::move(done)});
            done = nullptr;
        }
    }
    if (done) {
        done(CURLE_ABORTED_BY_CALLBACK);
        return;
    }
    // The session thread looks at what was added before it waits again; only another thread has
    // to wake it.
    if (!isCurrent()) {
        engine_->wake();
    }
}

void CurlSession::post(Task task) {
    {
        std::lock_guard lock(engine_->mutex);
        if (!engine_->stopping) {
            engine_->tasks.push_back(std::move(task));
            task = nullptr;
        }
    }
    if (task) {
        // The session is going away: run it here rather than drop it.
        task();
        return;
    }
    if (!isCurrent()) {
        engine_->wake();
    }
}

CurlSession::EasyHandle CurlSession::takeEasy() {
    CURL* easy = nullptr;
    {
        std::lock_guard lock(engine_->mutex);
        if (!engine_->spare.empty()) {
            easy = engine_->spare.back();
            engine_->spare.pop_back();
        }
    }
    if (easy == nullptr) {
        easy = curl_easy_init();
    }
    return EasyHandle(easy, [engine = engine_](CURL* used) {
        if (used == nullptr) {
            return;
        }
        curl_easy_reset(used);
        {
            std::lock_guard lock(engine->mutex);
            if (!engine->stopping && engine->spare.size() < 16) {
                engine->spare.push_back(used);
                return;
            }
        }
        curl_easy_cleanup(used);
    });
}

bool CurlSession::isCurrent() const {
    return std::this_thread::get_id() == engine_->threadID;
}

void CurlSession::setMethod(CURL* easy, const std::string& method,
                            const std::optional<std::string>& body) {
    if (body) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body->data());
        if (method != "POST") {
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
        }
    } else if (method == "GET") {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else if (method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else if (method == "POST") {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(0));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, "");
    } else {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
}

std::optional<CurlSession::ResolvedUrl> CurlSession::resolve(const std::string& base,
                                                             const std::string& path) {
    UrlHandle handle;
    if (handle.url == nullptr ||
        curl_url_set(handle.url, CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
        curl_url_set(handle.url, CURLUPART_URL, path.c_str(), 0) != CURLUE_OK) {
        return std::nullopt;
    }
    auto url = handle.get(CURLUPART_URL);
    if (!url) {
        return std::nullopt;
    }
    return ResolvedUrl{*url, handle.get(CURLUPART_HOST).value_or(""),
                       handle.get(CURLUPART_PATH).value_or("")};
}

void CurlSession::collect(CURL* easy, Received* into, size_t limit) {
    into->limit = limit;
    // An announced length past the limit is refused before the body comes; the count in onBody
    // holds for answers without a length and for compressed ones.
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limit));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, into);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, into);
}

bool CurlSession::isSafeHeader(std::string_view name, std::string_view value) {
    if (name.empty() || name.find_first_of(std::string_view(":\r\n\0 \t", 6)) != name.npos) {
        return false;
    }
    return value.find_first_of(std::string_view("\r\n\0", 3)) == value.npos;
}

curl_slist* CurlSession::headerList(const HttpHeaders& headers) {
    for (const auto& [name, value] : headers) {
        if (!isSafeHeader(name, value)) {
            return nullptr;
        }
    }
    curl_slist* list = nullptr;
    auto append = [&list](const std::string& line) {
        curl_slist* longer = curl_slist_append(list, line.c_str());
        if (longer == nullptr) {
            curl_slist_free_all(list);
        }
        list = longer;
        return longer != nullptr;
    };
    for (const auto& [name, value] : headers) {
        if (!append(value.empty() ? name + ";" : name + ": " + value)) {
            return nullptr;
        }
    }
    if (!headers.contains("Content-Type") && !append("Content-Type:")) {
        return nullptr;
    }
    append("Expect:");
    return list;
}

}  // namespace parlendo
