#pragma once

#include "core/tools/SecretStore.h"

#include <map>
#include <mutex>

namespace twinlantern {

// A secret store that lives as long as the object; safe to share between threads.
class InMemorySecretStore final : public SecretStore {
public:
    std::optional<std::string> read(const std::string& service,
                                    const std::string& account) const override;
    void write(const std::string& data, const std::string& service,
               const std::string& account) override;
    void remove(const std::string& service, const std::string& account) override;

private:
    // Service, one NUL, account: no two pairs share a key.
    static std::string key(const std::string& service, const std::string& account);

    mutable std::mutex lock_;
    std::map<std::string, std::string> items_;
};

} // namespace twinlantern
