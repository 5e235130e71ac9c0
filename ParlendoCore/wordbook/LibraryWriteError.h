#pragma once

#include <string>
#include <utility>

namespace parlendo {

// Why a write made from the manage window failed. The text of `notFound`, `invalid` and
// `outcomeUnknown` names what was missing, invalid or could not be confirmed.
class LibraryWriteError {
  public:
    enum class Kind { notFound, invalid, outcomeUnknown, siblingsChanged };

    static LibraryWriteError notFound(std::string what) {
        return LibraryWriteError(Kind::notFound, std::move(what));
    }
    static LibraryWriteError invalid(std::string what) {
        return LibraryWriteError(Kind::invalid, std::move(what));
    }
    static LibraryWriteError outcomeUnknown(std::string what) {
        return LibraryWriteError(Kind::outcomeUnknown, std::move(what));
    }
    static LibraryWriteError siblingsChanged() {
        return LibraryWriteError(Kind::siblingsChanged, {});
    }

    Kind kind() const { return kind_; }
    const std::string& what() const { return what_; }

    // The short text for log lines: "not_found_<x>", "invalid_<x>", "outcome_unknown_<x>",
    // "siblings_changed".
    std::string reason() const {
        switch (kind_) {
            case Kind::notFound:
                return "not_found_" + what_;
            case Kind::invalid:
                return "invalid_" + what_;
            case Kind::outcomeUnknown:
                return "outcome_unknown_" + what_;
            case Kind::siblingsChanged:
                return "siblings_changed";
        }
        return {};
    }

    // The code the page receives with the write failure.
    std::string writeErrorCode() const {
        switch (kind_) {
            case Kind::outcomeUnknown:
                return "transport_or_response_unknown";
            case Kind::notFound:
            case Kind::invalid:
            case Kind::siblingsChanged:
                return "contract_or_permission_rejected";
        }
        return {};
    }

    bool operator==(const LibraryWriteError&) const = default;

  private:
    LibraryWriteError(Kind kind, std::string what) : kind_(kind), what_(std::move(what)) {}

    Kind kind_;
    std::string what_;
};

}  // namespace parlendo
