#include "platform/linux/SecretService.h"

#include "core/tools/KeychainStatus.h"

#include <gio/gio.h>

namespace twinlantern {

const SecretSchema& keychainItemSchema() {
    static const SecretSchema value = {"app.twinlantern.Secret",
                                       SECRET_SCHEMA_NONE,
                                       {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                       0,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr};
    return value;
}

std::int32_t keychainStatusFor(const GError& error) {
    using namespace keychain_status;
    if (error.domain == SECRET_ERROR) {
        switch (error.code) {
        case SECRET_ERROR_IS_LOCKED:
            return interactionNotAllowed;
        case SECRET_ERROR_NO_SUCH_OBJECT:
            return itemNotFound;
        case SECRET_ERROR_ALREADY_EXISTS:
            return duplicateItem;
        default:
            return decode; // the service's answer made no sense to us
        }
    }
    if (error.domain == G_IO_ERROR) {
        switch (error.code) {
        case G_IO_ERROR_CANCELLED:
            return userCanceled;
        case G_IO_ERROR_PERMISSION_DENIED:
            return authFailed;
        case G_IO_ERROR_INVALID_ARGUMENT:
            return param;
        default:
            return notAvailable; // no session bus to reach
        }
    }
    if (error.domain == G_DBUS_ERROR) {
        switch (error.code) {
        case G_DBUS_ERROR_ACCESS_DENIED:
        case G_DBUS_ERROR_AUTH_FAILED:
            return authFailed;
        case G_DBUS_ERROR_INVALID_ARGS:
            return param;
        default:
            return notAvailable; // no service, no default collection, no answer
        }
    }
    return notAvailable;
}

} // namespace twinlantern
