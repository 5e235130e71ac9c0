#include "StubBackend.h"

#include "TestCertificate.h"

#include <httplib.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <stdexcept>

namespace parlendo::testing {

StubAnswer StubAnswer::json(int status, std::string body,
                            std::map<std::string, std::string> headers) {
    StubAnswer answer;
    answer.status = status;
    answer.body = std::move(body);
    answer.headers = std::move(headers);
    return answer;
}

StubAnswer StubAnswer::from(int status, std::function<std::string(const StubRequest&)> makeBody) {
    StubAnswer answer;
    answer.status = status;
    answer.makeBody = std::move(makeBody);
    return answer;
}

StubAnswer StubAnswer::dropped() {
    StubAnswer answer;
    answer.fault = Fault::drop;
    return answer;
}

StubAnswer StubAnswer::hanging() {
    StubAnswer answer;
    answer.fault = Fault::hang;
    return answer;
}

StubAnswer StubAnswer::generated(size_t bytes, bool announceLength) {
    StubAnswer answer;
    answer.generatedBytes = bytes;
    answer.announceLength = announceLength;
    return answer;
}

namespace {
bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}
}  // namespace

std::optional<std::string> StubRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (sameName(key, name)) {
            return value;
        }
    }
    return std::nullopt;
}

size_t StubRequest::headerCount(const std::string& name) const {
    return static_cast<size_t>(std::count_if(
        headers.begin(), headers.end(), [&](const auto& h) { return sameName(h.first, name); }));
}

struct StubBackend::State {
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    bool stopping = false;
    std::map<std::pair<std::string, std::string>, std::deque<StubAnswer>> scripts;
    StubAnswer fallback = StubAnswer::json(404, "");
    StubBackend::Responder responder;
    std::vector<StubRequest> requests;
    std::atomic<size_t> generatedSent{0};

    StubAnswer next(const std::string& method, const std::string& path) {
        for (const auto& key :
             {std::make_pair(method, path), std::make_pair(std::string("*"), path)}) {
            auto it = scripts.find(key);
            if (it != scripts.end() && !it->second.empty()) {
                StubAnswer answer = it->second.front();
                if (it->second.size() > 1) {
                    it->second.pop_front();
                }
                return answer;
            }
        }
        return fallback;
    }

    // Waits until `seconds` have passed or the stub stops; true when it stopped.
    bool pause(double seconds) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::duration<double>(seconds),
                                [this] { return stopping; });
    }
};

StubBackend::StubBackend() : StubBackend(Options{}) {}

StubBackend::StubBackend(Options options) : options_(options), state_(std::make_shared<State>()) {
    if (options_.tls) {
        const auto& certificate = TestCertificate::shared();
        bool tls13Only = options_.tls13Only;
        server_ = std::make_unique<httplib::SSLServer>([&certificate, tls13Only](SSL_CTX& context) {
            SSL_CTX_use_certificate(&context, certificate.certificate());
            SSL_CTX_use_PrivateKey(&context, certificate.key());
            if (tls13Only) {
                SSL_CTX_set_min_proto_version(&context, TLS1_3_VERSION);
            }
            return true;
        });
    } else {
        server_ = std::make_unique<httplib::Server>();
    }
    int threads = options_.threads;
    server_->new_task_queue = [threads] {
        return new httplib::ThreadPool(threads);
    };
    server_->set_tcp_nodelay(true);
    server_->set_keep_alive_max_count(1000000);
    server_->set_keep_alive_timeout(10);
    server_->set_payload_max_length(64 * 1024 * 1024);
    if (!options_.compress) {
        // The server compresses whatever the client accepts; the request it hands the routes is
        // its own, not const.
        server_->set_pre_routing_handler([](const httplib::Request& request, httplib::Response&) {
            const_cast<httplib::Request&>(request).headers.erase("Accept-Encoding");
            return httplib::Server::HandlerResponse::Unhandled;
        });
    }

    auto state = state_;
    auto handler = [state](const httplib::Request& request, httplib::Response& response) {
        StubRequest recorded;
        recorded.method = request.method;
        recorded.target = request.target;
        auto question = request.target.find('?');
        recorded.path = request.target.substr(0, question);
        recorded.query = question == std::string::npos ? "" : request.target.substr(question + 1);
        for (const auto& [name, value] : request.headers) {
            if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
                name == "LOCAL_PORT") {
                continue;  // added by the server itself
            }
            recorded.headers.emplace_back(name, value);
        }
        recorded.body = request.body;
        StubAnswer answer;
        Responder responder;
        {
            std::lock_guard lock(state->mutex);
            responder = state->responder;
        }
        auto dynamic = responder ? responder(recorded) : std::nullopt;
        {
            std::lock_guard lock(state->mutex);
            answer = dynamic ? std::move(*dynamic) : state->next(recorded.method, recorded.path);
            state->requests.push_back(recorded);
        }
        if (answer.makeBody) {
            answer.body = answer.makeBody(recorded);
        }
        state->changed.notify_all();

        if (answer.delay > 0 && state->pause(answer.delay)) {
            return;
        }
        if (answer.fault == StubAnswer::Fault::hang) {
            state->pause(3600);
            return;
        }
        response.status = answer.status;
        for (const auto& [name, value] : answer.headers) {
            response.set_header(name, value);
        }
        if (answer.fault == StubAnswer::Fault::drop) {
            response.set_content_provider(1024, "application/json",
                                          [](size_t, size_t, httplib::DataSink&) { return false; });
            return;
        }
        if (answer.generatedBytes > 0) {
            const size_t total = answer.generatedBytes;
            auto chunk = std::make_shared<const std::string>(64 * 1024, 'x');
            auto produce = [state, chunk, total](size_t offset, httplib::DataSink& sink) {
                size_t n = std::min(chunk->size(), total - offset);
                if (!sink.write(chunk->data(), n)) {
                    return false;
                }
                state->generatedSent += n;
                return true;
            };
            if (answer.announceLength) {
                response.set_content_provider(
                    total, "application/json",
                    [produce](size_t offset, size_t, httplib::DataSink& sink) {
                        return produce(offset, sink);
                    });
            } else {
                response.set_chunked_content_provider(
                    "application/json", [produce, total](size_t offset, httplib::DataSink& sink) {
                        if (offset >= total) {
                            sink.done();
                            return true;
                        }
                        return produce(offset, sink);
                    });
            }
            return;
        }
        auto type = answer.headers.find("Content-Type");
        response.set_content(
            answer.body, type == answer.headers.end() ? "application/json" : type->second.c_str());
    };
    const std::string any = ".*";
    server_->Get(any, handler);
    server_->Post(any, handler);
    server_->Put(any, handler);
    server_->Patch(any, handler);
    server_->Delete(any, handler);
    server_->Options(any, handler);

    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
        throw std::runtime_error("stub backend: cannot bind 127.0.0.1");
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() is lost on a server whose accept loop has not started yet.
    while (!server_->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

StubBackend::~StubBackend() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    state_->changed.notify_all();
    server_->stop();
    thread_.join();
}

std::string StubBackend::baseURL() const {
    return std::string(options_.tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

std::string StubBackend::caFile() {
    return TestCertificate::shared().certificateFile();
}

void StubBackend::on(const std::string& method, const std::string& path, StubAnswer answer) {
    std::lock_guard lock(state_->mutex);
    state_->scripts[{method, path}].push_back(std::move(answer));
}

void StubBackend::respondWith(Responder responder) {
    std::lock_guard lock(state_->mutex);
    state_->responder = std::move(responder);
}

void StubBackend::setFallback(StubAnswer answer) {
    std::lock_guard lock(state_->mutex);
    state_->fallback = std::move(answer);
}

std::vector<StubRequest> StubBackend::requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests;
}

size_t StubBackend::generatedBytesSent() const {
    return state_->generatedSent.load();
}

size_t StubBackend::requestCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests.size();
}

StubRequest StubBackend::lastRequest() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests.empty() ? StubRequest{} : state_->requests.back();
}

bool StubBackend::waitForRequests(size_t count, double seconds) const {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, std::chrono::duration<double>(seconds),
                                    [&] { return state_->requests.size() >= count; });
}

}  // namespace parlendo::testing
