#pragma once

#include <cstdint>
#include <string>

namespace parlendo {

// A project document whose page text is ready on the server.
struct ReadyDocument {
    std::string id;
    std::string fileName;
    // SHA-256 of the document's extracted text (its pages joined by form feeds).
    std::string sha;
    std::int64_t pageCount = 0;
    std::string createdAt;
    bool operator==(const ReadyDocument&) const = default;
};

}  // namespace parlendo
