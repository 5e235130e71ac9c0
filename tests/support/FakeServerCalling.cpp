#include "FakeServerCalling.h"

#include <gtest/gtest.h>

namespace parlendo::testing {
namespace {

std::string keyOf(const std::string& method, const std::string& path) {
    return method + " " + path.substr(0, path.find('?'));
}

}  // namespace

FakeServerCalling::~FakeServerCalling() {
    for (Held& held : held_) {
        held.completion.drop("the test ended without releasing the call");
    }
}

void FakeServerCalling::call(std::string path, std::string method, std::optional<Json> json,
                             HttpHeaders headers, double timeout,
                             Completion<void(CallResult)> completion) {
    callDetailed(std::move(path), std::move(method), std::move(json), std::move(headers), timeout,
                 [completion = std::move(completion)](DetailedCallResult result) mutable {
                     if (result) {
                         completion(std::move(*result));
                     } else {
                         completion(fail(std::move(result.error().failure)));
                     }
                 });
}

void FakeServerCalling::callDetailed(std::string path, std::string method, std::optional<Json> json,
                                     HttpHeaders headers, double timeout,
                                     Completion<void(DetailedCallResult)> completion) {
    DetailedCallResult answer;
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(
            Call{std::move(path), std::move(method), std::move(json), std::move(headers), timeout});
        const Call& recorded = calls_.back();
        auto it = scripts_.find(keyOf(recorded.method, recorded.path));
        if (respond_) {
            answer = respond_(recorded);
        } else if (it != scripts_.end() && !it->second.answers.empty()) {
            Script& script = it->second;
            answer = script.answers.front();
            if (script.answers.size() > 1) {
                script.answers.pop_front();
            } else {
                script.lastGiven = true;
            }
        } else {
            answer = fallback_;
        }
        if (holding_) {
            held_.push_back(Held{std::move(answer), std::move(completion)});
            return;
        }
    }
    this->answer(std::move(completion), std::move(answer));
}

void FakeServerCalling::answer(Completion<void(DetailedCallResult)> completion,
                               DetailedCallResult result) {
    ExecutorPtr deliver;
    {
        std::lock_guard lock(mutex_);
        deliver = deliver_;
    }
    if (!deliver) {
        completion(std::move(result));
        return;
    }
    deliver->post([completion = std::move(completion), result = std::move(result)]() mutable {
        completion(std::move(result));
    });
}

void FakeServerCalling::deliverOn(ExecutorPtr executor) {
    std::lock_guard lock(mutex_);
    deliver_ = std::move(executor);
}

void FakeServerCalling::script(const std::string& method, const std::string& path,
                               DetailedCallResult answer) {
    std::lock_guard lock(mutex_);
    Script& script = scripts_[keyOf(method, path)];
    if (script.lastGiven) {
        script.answers.clear();
        script.lastGiven = false;
    }
    script.answers.push_back(std::move(answer));
}

void FakeServerCalling::ok(const std::string& method, const std::string& path, std::string body) {
    script(method, path, DetailedCallResult(std::move(body)));
}

void FakeServerCalling::failure(const std::string& method, const std::string& path,
                                CallFailureDetail failure) {
    script(method, path, fail(std::move(failure)));
}

void FakeServerCalling::respondWith(Respond respond) {
    std::lock_guard lock(mutex_);
    respond_ = std::move(respond);
}

void FakeServerCalling::setFallback(DetailedCallResult answer) {
    std::lock_guard lock(mutex_);
    fallback_ = std::move(answer);
}

std::vector<FakeServerCalling::Call> FakeServerCalling::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

size_t FakeServerCalling::count() const {
    std::lock_guard lock(mutex_);
    return calls_.size();
}

size_t FakeServerCalling::count(const std::string& method) const {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (const auto& c : calls_) {
        n += c.method == method ? 1 : 0;
    }
    return n;
}

void FakeServerCalling::hold(bool holding) {
    std::lock_guard lock(mutex_);
    holding_ = holding;
}

size_t FakeServerCalling::heldCount() const {
    std::lock_guard lock(mutex_);
    return held_.size();
}

bool FakeServerCalling::releaseNext() {
    return release(std::nullopt);
}

bool FakeServerCalling::releaseNext(DetailedCallResult instead) {
    return release(std::move(instead));
}

bool FakeServerCalling::release(std::optional<DetailedCallResult> instead) {
    std::optional<Held> next;
    {
        std::lock_guard lock(mutex_);
        if (held_.empty()) {
            ADD_FAILURE() << "no call is held";
            return false;
        }
        next.emplace(std::move(held_.front()));
        held_.pop_front();
    }
    answer(std::move(next->completion), instead ? std::move(*instead) : std::move(next->answer));
    return true;
}

}  // namespace parlendo::testing
