#include "foundation/KeychainWrite.h"

namespace parlendo::KeychainWrite {

Ops Ops::forBackend(std::shared_ptr<KeychainBackend> backend, std::string service,
                    std::string account) {
    Ops ops;
    ops.update = [backend, service, account](const std::string& data) {
        return backend->update(service, account, data);
    };
    ops.add = [backend, service, account](const std::string& data) {
        return backend->add(service, account, data);
    };
    ops.remove = [backend, service, account] {
        return backend->remove(service, account);
    };
    return ops;
}

std::int32_t run(const std::optional<std::string>& value, const Ops& ops) {
    if (value) {
        const std::int32_t status = ops.update(*value);
        if (status == KeychainStatus::itemNotFound) {
            return ops.add(*value);
        }
        return status;
    }
    const std::int32_t status = ops.remove();
    return status == KeychainStatus::itemNotFound ? KeychainStatus::success : status;
}

}  // namespace parlendo::KeychainWrite
