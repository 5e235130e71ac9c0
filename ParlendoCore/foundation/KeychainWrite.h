#pragma once

#include "foundation/Result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// Result codes of keychain operations, as the keychain reports them: 0 is success, -25300 is
// "item not found" (the store says the item is absent), anything else is a failure: the store
// did not answer, or its answer could not be used.
namespace KeychainStatus {
inline constexpr std::int32_t success = 0;
inline constexpr std::int32_t itemNotFound = -25300;
inline constexpr std::int32_t duplicateItem = -25299;
inline constexpr std::int32_t ioFailure = -36;
inline constexpr std::int32_t interactionNotAllowed = -25308;  // the store is locked
inline constexpr std::int32_t decodeFailure = -26275;
inline constexpr std::int32_t notAvailable = -25291;
}  // namespace KeychainStatus

// A store of generic-password items identified by (service, account), each holding bytes.
// Implementations serialise their own access: any thread may call them.
class KeychainBackend {
  public:
    virtual ~KeychainBackend() = default;

    // The item's bytes, or the status that explains why there are none (itemNotFound when the
    // item does not exist).
    virtual Result<std::string, std::int32_t> read(const std::string& service,
                                                   const std::string& account) = 0;
    // Replaces the bytes of an existing item; itemNotFound when there is none.
    virtual std::int32_t update(const std::string& service, const std::string& account,
                                const std::string& data) = 0;
    // Adds a new item; duplicateItem when it exists already.
    virtual std::int32_t add(const std::string& service, const std::string& account,
                             const std::string& data) = 0;
    // Deletes the item; itemNotFound when there is none.
    virtual std::int32_t remove(const std::string& service, const std::string& account) = 0;

    // A short name for the log ("secret_service", "file").
    virtual std::string name() const = 0;
};

// The write rules of one item over replaceable operations.
namespace KeychainWrite {

// The three operations on one item. `remove` is the item's delete.
struct Ops {
    std::function<std::int32_t(const std::string& data)> update;
    std::function<std::int32_t(const std::string& data)> add;
    std::function<std::int32_t()> remove;

    // The operations of the item (service, account) in `backend`.
    static Ops forBackend(std::shared_ptr<KeychainBackend> backend, std::string service,
                          std::string account);
};

// With a value: update, and add when the update finds no item; the status of the last operation
// run. Without a value: delete, where a missing item counts as success.
std::int32_t run(const std::optional<std::string>& value, const Ops& ops);

}  // namespace KeychainWrite
}  // namespace parlendo
