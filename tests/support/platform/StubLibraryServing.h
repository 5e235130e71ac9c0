#pragma once

#include "StubBackend.h"
#include "StubLibrary.h"

#include <memory>

namespace parlendo::testing {

// Lets the loopback stub answer the word book's requests from an in-memory library; other
// requests keep their scripts.
inline void serveLibrary(StubBackend& stub, std::shared_ptr<StubLibrary> library) {
    stub.respondWith([library](const StubRequest& request) -> std::optional<StubAnswer> {
        auto response = library->handle(request.method, request.target, request.body);
        if (!response) {
            return std::nullopt;
        }
        // The data API's own content type (which the stub does not compress).
        return StubAnswer::json(response->status, response->body,
                                {{"Content-Type", "application/json; charset=utf-8"}});
    });
}

}  // namespace parlendo::testing
