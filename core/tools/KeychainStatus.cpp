#include "core/tools/KeychainStatus.h"

namespace twinlantern {

std::optional<std::string> keychainStatusMessage(std::int32_t status) {
    using namespace keychain_status;
    switch (status) {
    case success:
        return "No error.";
    case param:
        return "One or more parameters passed to a function were not valid.";
    case userCanceled:
        return "User canceled the operation.";
    case notAvailable:
        return "No keychain is available. You may need to restart your computer.";
    case authFailed:
        return "The user name or passphrase you entered is not correct.";
    case duplicateItem:
        return "The specified item already exists in the keychain.";
    case itemNotFound:
        return "The specified item could not be found in the keychain.";
    case interactionNotAllowed:
        return "User interaction is not allowed.";
    case decode:
        return "Unable to decode the provided data.";
    default:
        return std::nullopt;
    }
}

TwinLanternError keychainError(std::int32_t status) {
    return TwinLanternError::keychain(status,
                                      "Keychain error " + std::to_string(status) + ": " +
                                          keychainStatusMessage(status).value_or("unknown"));
}

} // namespace twinlantern
