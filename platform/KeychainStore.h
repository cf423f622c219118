#pragma once

#include "core/profiles/Profile.h"
#include "core/tools/SecretStore.h"

#include <string>
#include <string_view>

namespace twinlantern {

// The secret store over the user's keyring (the Secret Service). It only ever
// touches items whose service name is ours, so another program's secrets are out
// of reach; a foreign name is refused before the keyring is asked anything.
class KeychainStore final : public SecretStore {
public:
    static constexpr std::string_view servicePrefix = "app.twinlantern.";
    // "app.twinlantern.profile.<id>.<tool>", nothing escaped.
    static std::string service(const ProfileID& profile, ToolKind tool);
    // Starts with the prefix (exact case) and has more after it.
    static bool isAllowed(std::string_view service);

    std::optional<std::string> read(const std::string& service,
                                    const std::string& account) const override;
    void write(const std::string& data, const std::string& service,
               const std::string& account) override;
    void remove(const std::string& service, const std::string& account) override;
};

} // namespace twinlantern
