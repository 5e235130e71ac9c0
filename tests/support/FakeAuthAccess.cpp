#include "FakeAuthAccess.h"

namespace parlendo::testing {

std::optional<AuthContext> FakeAuthAccess::context() const {
    std::lock_guard lock(mutex_);
    if (!admission_ || !userID_) {
        return std::nullopt;
    }
    return AuthContext{*userID_, generation_};
}

bool FakeAuthAccess::isCurrent(const std::optional<AuthContext>& context) const {
    std::lock_guard lock(mutex_);
    return context && admission_ && userID_ && context->generation == generation_ &&
           context->userID == *userID_;
}

bool FakeAuthAccess::beginOperation(const AuthContext& context, bool awaited) {
    if (!isCurrent(context)) {
        return false;
    }
    std::lock_guard lock(mutex_);
    ++begins_;
    ++(awaited ? awaited_ : background_);
    return true;
}

void FakeAuthAccess::endOperation(bool awaited) {
    std::lock_guard lock(mutex_);
    ++ends_;
    int& counter = awaited ? awaited_ : background_;
    if (counter > 0) {
        --counter;
    }
}

std::optional<std::string> FakeAuthAccess::accessToken(const AuthContext& context) const {
    if (!isCurrent(context)) {
        return std::nullopt;
    }
    std::lock_guard lock(mutex_);
    return token_;
}

AuthSessionResult FakeAuthAccess::nextRecoverLocked() {
    ++recovers_;
    AuthSessionResult result = AuthSession{};
    if (!recoverScript_.empty()) {
        result = recoverScript_.front();
        if (recoverScript_.size() > 1) {
            recoverScript_.pop_front();
        }
    }
    if (result) {
        token_ = "token-" + std::to_string(++tokenSerial_);
        result->accessToken = *token_;
        result->userID = userID_.value_or("");
    }
    return result;
}

void FakeAuthAccess::recover(Completion<void(AuthSessionResult)> completion) {
    std::unique_lock lock(mutex_);
    if (holdRecover_) {
        heldRecovers_.push_back(std::move(completion));
        return;
    }
    AuthSessionResult result =
        userID_ ? nextRecoverLocked() : fail(AuthFailure::confirmedInvalid());
    lock.unlock();
    completion(std::move(result));
}

bool FakeAuthAccess::releaseRecover() {
    std::unique_lock lock(mutex_);
    if (heldRecovers_.empty()) {
        return false;
    }
    auto completion = std::move(heldRecovers_.front());
    heldRecovers_.pop_front();
    AuthSessionResult result =
        userID_ ? nextRecoverLocked() : fail(AuthFailure::confirmedInvalid());
    lock.unlock();
    completion(std::move(result));
    return true;
}

void FakeAuthAccess::signIn(const std::string& userID) {
    std::lock_guard lock(mutex_);
    userID_ = userID;
    ++generation_;
    admission_ = true;
    tokenSerial_ = 1;
    token_ = "token-1";
}

void FakeAuthAccess::signOut() {
    std::lock_guard lock(mutex_);
    userID_.reset();
    token_.reset();
    admission_ = false;
    ++generation_;
}

void FakeAuthAccess::closeAdmission() {
    std::lock_guard lock(mutex_);
    admission_ = false;
}

void FakeAuthAccess::setAccessToken(std::optional<std::string> token) {
    std::lock_guard lock(mutex_);
    token_ = std::move(token);
}

std::optional<std::string> FakeAuthAccess::currentToken() const {
    std::lock_guard lock(mutex_);
    return token_;
}

void FakeAuthAccess::scriptRecover(AuthSessionResult result) {
    std::lock_guard lock(mutex_);
    recoverScript_.push_back(std::move(result));
}

void FakeAuthAccess::holdRecover(bool holding) {
    std::lock_guard lock(mutex_);
    holdRecover_ = holding;
}

int FakeAuthAccess::awaitedInFlight() const {
    std::lock_guard lock(mutex_);
    return awaited_;
}
int FakeAuthAccess::backgroundInFlight() const {
    std::lock_guard lock(mutex_);
    return background_;
}
int FakeAuthAccess::beginCount() const {
    std::lock_guard lock(mutex_);
    return begins_;
}
int FakeAuthAccess::endCount() const {
    std::lock_guard lock(mutex_);
    return ends_;
}
int FakeAuthAccess::recoverCount() const {
    std::lock_guard lock(mutex_);
    return recovers_;
}
std::int64_t FakeAuthAccess::generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

}  // namespace parlendo::testing
