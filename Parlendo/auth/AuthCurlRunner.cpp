#include "auth/AuthCurlRunner.h"

#include <pthread.h>

#include <cmath>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace parlendo {

struct AuthCurlRunner::Engine {
    struct Pending {
        CURL* easy;
        UniqueFunction<void(CURLcode)> done;
    };

    std::mutex mutex;
    std::vector<Pending> toAdd;
    std::vector<Task> tasks;
    bool stopping = false;
    CURLM* multi = curl_multi_init();
    std::thread thread;
    // Touched only on the runner's thread.
    std::unordered_map<CURL*, UniqueFunction<void(CURLcode)>> running;

    ~Engine() { curl_multi_cleanup(multi); }

    void complete(CURL* easy, CURLcode code) {
        curl_multi_remove_handle(multi, easy);
        auto it = running.find(easy);
        if (it == running.end()) {
            return;
        }
        auto done = std::move(it->second);
        running.erase(it);
        done(code);
    }

    void run() {
        pthread_setname_np(pthread_self(), "parlendo.auth");
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
                while (!running.empty()) {
                    complete(running.begin()->first, CURLE_ABORTED_BY_CALLBACK);
                }
                return;
            }
            int active = 0;
            curl_multi_perform(multi, &active);
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                if (message->msg == CURLMSG_DONE) {
                    complete(message->easy_handle, message->data.result);
                }
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

AuthCurlRunner::AuthCurlRunner(SessionConfiguration configuration,
                               std::optional<std::string> trustedCAFile)
    : configuration_(std::move(configuration)),
      trustedCAFile_(std::move(trustedCAFile)),
      engine_(std::make_shared<Engine>()) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    engine_->thread = std::thread([engine = engine_] { engine->run(); });
}

AuthCurlRunner::~AuthCurlRunner() {
    {
        std::lock_guard lock(engine_->mutex);
        engine_->stopping = true;
    }
    curl_multi_wakeup(engine_->multi);
    if (std::this_thread::get_id() == engine_->thread.get_id()) {
        engine_->thread.detach();
    } else {
        engine_->thread.join();
    }
}

void AuthCurlRunner::configure(CURL* easy, double requestTimeout) const {
    double timeout = requestTimeout > 0 ? requestTimeout : configuration_.requestTimeout;
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(std::ceil(timeout * 1000.0)));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
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

void AuthCurlRunner::perform(CURL* easy, UniqueFunction<void(CURLcode)> done) {
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
    curl_multi_wakeup(engine_->multi);
}

void AuthCurlRunner::post(Task task) {
    {
        std::lock_guard lock(engine_->mutex);
        if (!engine_->stopping) {
            engine_->tasks.push_back(std::move(task));
            task = nullptr;
        }
    }
    if (task) {
        task();
        return;
    }
    curl_multi_wakeup(engine_->multi);
}

bool AuthCurlRunner::isCurrent() const {
    return std::this_thread::get_id() == engine_->thread.get_id();
}

}  // namespace parlendo
