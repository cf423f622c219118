#include "platform/KeychainStore.h"

#include "core/base/TwinLanternError.h"
#include "core/tools/KeychainStatus.h"
#include "platform/linux/SecretService.h"

#include <libsecret/secret.h>

#include <memory>

namespace twinlantern {

namespace {

struct ErrorFree {
    void operator()(GError* e) const { g_error_free(e); }
};
struct ValueUnref {
    void operator()(SecretValue* v) const { secret_value_unref(v); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;
using ValuePtr = std::unique_ptr<SecretValue, ValueUnref>;

void refuseForeign(const std::string& service) {
    if (!KeychainStore::isAllowed(service)) {
        throw TwinLanternError::unsupported("Refused Keychain access to “" + service +
                                            "”: not a TwinLantern item.");
    }
}

// Takes the error; a missing item is not a failure.
void throwUnlessNotFound(GError* raw) {
    ErrorPtr error(raw);
    const std::int32_t status = keychainStatusFor(*error);
    if (status != keychain_status::itemNotFound) {
        throw keychainError(status);
    }
}

// libsecret answers "nothing there" when the item exists but its keyring stayed
// locked; that must not pass for a missing item or a done deletion.
void throwIfLocked(const std::string& service, const std::string& account) {
    GError* error = nullptr;
    GList* items = secret_password_search_sync(&keychainItemSchema(), SECRET_SEARCH_ALL, nullptr,
                                               &error, "service", service.c_str(), "account",
                                               account.c_str(), nullptr);
    if (error != nullptr) {
        throwUnlessNotFound(error);
        return;
    }
    bool locked = false;
    for (GList* it = items; it != nullptr; it = it->next) {
        locked =
            locked || (SECRET_IS_ITEM(it->data) && secret_item_get_locked(SECRET_ITEM(it->data)));
    }
    g_list_free_full(items, g_object_unref);
    if (locked) {
        throw keychainError(keychain_status::interactionNotAllowed);
    }
}

} // namespace

std::string KeychainStore::service(const ProfileID& profile, ToolKind tool) {
    return std::string(servicePrefix) + "profile." + profile.rawValue + "." + rawValue(tool);
}

bool KeychainStore::isAllowed(std::string_view service) {
    return service.size() > servicePrefix.size() && service.starts_with(servicePrefix);
}

std::optional<std::string> KeychainStore::read(const std::string& service,
                                               const std::string& account) const {
    refuseForeign(service);
    GError* error = nullptr;
    ValuePtr value(secret_password_lookup_binary_sync(&keychainItemSchema(), nullptr, &error,
                                                      "service", service.c_str(), "account",
                                                      account.c_str(), nullptr));
    if (error != nullptr) {
        throwUnlessNotFound(error);
    }
    if (!value) {
        throwIfLocked(service, account);
        return std::nullopt;
    }
    gsize length = 0;
    const gchar* bytes = secret_value_get(value.get(), &length);
    return std::string(bytes, length);
}

void KeychainStore::write(const std::string& data, const std::string& service,
                          const std::string& account) {
    refuseForeign(service);
    ValuePtr value(secret_value_new(data.data(), static_cast<gssize>(data.size()),
                                    "application/octet-stream"));
    GError* error = nullptr;
    // Storing replaces the item with the same attributes, so there is only ever one.
    const gboolean stored = secret_password_store_binary_sync(
        &keychainItemSchema(), SECRET_COLLECTION_DEFAULT, "TwinLantern", value.get(), nullptr,
        &error, "service", service.c_str(), "account", account.c_str(), nullptr);
    if (error != nullptr) {
        ErrorPtr owned(error);
        throw keychainError(keychainStatusFor(*owned));
    }
    if (!stored) {
        throw keychainError(keychain_status::decode);
    }
}

void KeychainStore::remove(const std::string& service, const std::string& account) {
    refuseForeign(service);
    GError* error = nullptr;
    // False without an error: nothing was removed, which is fine unless it is locked.
    const gboolean removed =
        secret_password_clear_sync(&keychainItemSchema(), nullptr, &error, "service",
                                   service.c_str(), "account", account.c_str(), nullptr);
    if (error != nullptr) {
        throwUnlessNotFound(error);
    } else if (!removed) {
        throwIfLocked(service, account);
    }
}

} // namespace twinlantern
