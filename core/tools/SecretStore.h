#pragma once

#include <optional>
#include <string>

namespace twinlantern {

// Secrets kept apart from the profiles file: bytes addressed by a service name and
// an account name. Failures are thrown as TwinLanternError; a missing item never is.
class SecretStore {
public:
    virtual ~SecretStore() = default;

    // The stored bytes, or nothing when there is no such item.
    virtual std::optional<std::string> read(const std::string& service,
                                            const std::string& account) const = 0;
    // Stores or replaces the one item for service and account.
    virtual void write(const std::string& data, const std::string& service,
                       const std::string& account) = 0;
    // Removes the item; a missing item is fine.
    virtual void remove(const std::string& service, const std::string& account) = 0;

protected:
    SecretStore() = default;
    SecretStore(const SecretStore&) = default;
    SecretStore& operator=(const SecretStore&) = default;
};

} // namespace twinlantern
