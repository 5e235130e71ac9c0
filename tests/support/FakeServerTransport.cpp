#include "FakeServerTransport.h"

namespace parlendo::testing {

ServerResponse FakeServerTransport::answerFor(const std::string& path) {
    auto it = scripts_.find(path);
    if (it == scripts_.end()) {
        it = scripts_.find(path.substr(0, path.find('?')));
    }
    if (it == scripts_.end() || it->second.empty()) {
        return fallback_;
    }
    ServerResponse response = it->second.front();
    if (it->second.size() > 1) {
        it->second.pop_front();
    }
    return response;
}

void FakeServerTransport::send(ServerRequest request, Completion<void(ServerResponse)> completion) {
    std::unique_lock lock(mutex_);
    ServerResponse response = answerFor(request.path);
    requests_.push_back(std::move(request));
    if (holding_) {
        held_.push_back(Held{std::move(response), std::move(completion)});
        return;
    }
    lock.unlock();
    completion(std::move(response));
}

void FakeServerTransport::script(const std::string& path, ServerResponse response) {
    std::lock_guard lock(mutex_);
    scripts_[path].push_back(std::move(response));
}

void FakeServerTransport::scriptHttp(const std::string& path, int status, std::string body,
                                     HttpHeaders headers) {
    script(path, ServerResponse::http(status, std::move(body), std::move(headers)));
}

void FakeServerTransport::setFallback(ServerResponse response) {
    std::lock_guard lock(mutex_);
    fallback_ = std::move(response);
}

std::vector<ServerRequest> FakeServerTransport::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

size_t FakeServerTransport::requestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

ServerRequest FakeServerTransport::lastRequest() const {
    std::lock_guard lock(mutex_);
    return requests_.empty() ? ServerRequest{} : requests_.back();
}

void FakeServerTransport::hold(bool holding) {
    std::lock_guard lock(mutex_);
    holding_ = holding;
}

size_t FakeServerTransport::heldCount() const {
    std::lock_guard lock(mutex_);
    return held_.size();
}

bool FakeServerTransport::releaseNext() {
    std::unique_lock lock(mutex_);
    if (held_.empty()) {
        return false;
    }
    Held next = std::move(held_.front());
    held_.pop_front();
    lock.unlock();
    next.completion(std::move(next.response));
    return true;
}

size_t FakeServerTransport::releaseAll() {
    size_t released = 0;
    while (releaseNext()) {
        ++released;
    }
    return released;
}

}  // namespace parlendo::testing
