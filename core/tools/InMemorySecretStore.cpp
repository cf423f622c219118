#include "core/tools/InMemorySecretStore.h"

namespace twinlantern {

std::string InMemorySecretStore::key(const std::string& service, const std::string& account) {
    std::string result = service;
    result += '\0';
    result += account;
    return result;
}

std::optional<std::string> InMemorySecretStore::read(const std::string& service,
                                                     const std::string& account) const {
    std::lock_guard guard(lock_);
    auto it = items_.find(key(service, account));
    if (it == items_.end()) {
        return std::nullopt;
    }
    return it->second;
}

void InMemorySecretStore::write(const std::string& data, const std::string& service,
                                const std::string& account) {
    std::lock_guard guard(lock_);
    items_[key(service, account)] = data;
}

void InMemorySecretStore::remove(const std::string& service, const std::string& account) {
    std::lock_guard guard(lock_);
    items_.erase(key(service, account));
}

} // namespace twinlantern
