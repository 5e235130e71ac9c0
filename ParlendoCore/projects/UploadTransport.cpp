#include "projects/UploadTransport.h"

#include "foundation/Log.h"

namespace parlendo {

const char* toString(UploadTransport::Path path) {
    switch (path) {
        case UploadTransport::Path::upload:
            return "upload";
        case UploadTransport::Path::fallback:
            return "fallback";
    }
    return "upload";
}

const std::set<int>& UploadTransport::fallbackCodes() {
    static const std::set<int> codes{-1200};
    return codes;
}

UploadTransport::UploadTransport(std::shared_ptr<ServerTransport> primary,
                                 std::shared_ptr<ServerTransport> fallback)
    : primary_(std::move(primary)), fallback_(std::move(fallback)) {}

UploadTransport::Path UploadTransport::path() const {
    std::lock_guard lock(mutex_);
    return fellBack_ ? Path::fallback : Path::upload;
}

void UploadTransport::send(ServerRequest request, Completion<void(ServerResponse)> completion) {
    bool fellBack = false;
    {
        std::lock_guard lock(mutex_);
        fellBack = fellBack_;
    }
    if (fellBack) {
        fallback_->send(std::move(request), std::move(completion));
        return;
    }
    std::weak_ptr<UploadTransport> weak = weak_from_this();
    auto resend = std::make_shared<ServerRequest>(request);
    primary_->send(std::move(request), [weak, resend, completion = std::move(completion)](
                                           ServerResponse response) mutable {
        const auto* failed = response.as<ServerResponse::Failed>();
        auto self = weak.lock();
        if (!failed || fallbackCodes().count(failed->code) == 0 || !self) {
            completion(std::move(response));
            return;
        }
        bool before = false;
        {
            std::lock_guard lock(self->mutex_);
            before = self->fellBack_;
            self->fellBack_ = true;
        }
        if (!before) {
            Log::write("drive", "올리기 연결 path=fallback code=" + std::to_string(failed->code));
        }
        self->fallback_->send(std::move(*resend), std::move(completion));
    });
}

UploadRoute UploadRoute::over(std::shared_ptr<DetailedServerCalling> server,
                              const std::shared_ptr<UploadTransport>& transport) {
    std::weak_ptr<UploadTransport> weak = transport;
    return UploadRoute{std::move(server), [weak]() -> std::string {
                           auto t = weak.lock();
                           return t && t->path() == UploadTransport::Path::fallback ? "fallback"
                                                                                    : "upload";
                       }};
}

}  // namespace parlendo
