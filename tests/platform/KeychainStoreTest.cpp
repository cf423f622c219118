#include "platform/KeychainStore.h"

#include "core/base/TwinLanternError.h"
#include "core/tools/KeychainStatus.h"
#include "platform/linux/SecretService.h"

#include "tests/support/ErrorOf.h"

#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include <cstdlib>
#include <thread>
#include <vector>

using namespace twinlantern;
using twinlantern::testing::errorOf;

namespace {

// How many of our items the keyring holds for service and account, read directly.
int itemCount(const std::string& service, const std::string& account) {
    GError* error = nullptr;
    GList* items = secret_password_search_sync(&keychainItemSchema(), SECRET_SEARCH_ALL, nullptr,
                                               &error, "service", service.c_str(), "account",
                                               account.c_str(), nullptr);
    if (error != nullptr) {
        ADD_FAILURE() << error->message;
        g_error_free(error);
        return -1;
    }
    const int count = static_cast<int>(g_list_length(items));
    g_list_free_full(items, g_object_unref);
    return count;
}

// True when a Secret Service with a default collection answers on the session bus.
bool secretServiceRunning(std::string& why) {
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
    if (service == nullptr) {
        why = error != nullptr ? error->message : "no service";
        g_clear_error(&error);
        return false;
    }
    SecretCollection* collection = secret_collection_for_alias_sync(
        service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
    g_object_unref(service);
    if (collection == nullptr) {
        why = error != nullptr ? error->message : "no default collection";
        g_clear_error(&error);
        return false;
    }
    g_object_unref(collection);
    return true;
}

struct KeychainTest : ::testing::Test {
    KeychainStore store;
    void SetUp() override {
        std::string why;
        if (std::getenv("TL_NO_SECRET_SERVICE") != nullptr || !secretServiceRunning(why)) {
            GTEST_SKIP() << "No Secret Service could be reached (" << why
                         << "); run through tests/support/run-with-keyring.sh";
        }
    }
};

} // namespace

TEST(KeychainNames, OnlyOurServiceNamesAreAllowed) {
    struct Case {
        std::string service;
        bool allowed;
    };
    for (const Case& c : {Case{"app.twinlantern.", false}, Case{"app.twinlantern.x", true},
                          Case{"App.TwinLantern.x", false}, Case{"app.twinlanternx", false},
                          Case{"", false}, Case{"com.example.app.twinlantern.x", false}}) {
        EXPECT_EQ(KeychainStore::isAllowed(c.service), c.allowed) << c.service;
    }
    const ProfileID work("work-1a2b");
    EXPECT_EQ(KeychainStore::service(work, ToolKind::claudeDesktop),
              "app.twinlantern.profile.work-1a2b.claude-desktop");
    EXPECT_EQ(KeychainStore::service(work, ToolKind::chatGPTApp),
              "app.twinlantern.profile.work-1a2b.chatgpt-app");
    EXPECT_EQ(KeychainStore::service(work, ToolKind::claudeCode),
              "app.twinlantern.profile.work-1a2b.claude-code");
    EXPECT_EQ(KeychainStore::service(work, ToolKind::codex),
              "app.twinlantern.profile.work-1a2b.codex");
}

TEST_F(KeychainTest, WriteReadReplaceDelete) {
    const std::string service = KeychainStore::service(ProfileID("round-trip"), ToolKind::codex);
    EXPECT_EQ(store.read(service, "token"), std::nullopt);
    store.remove(service, "token"); // a missing item is fine

    const std::string bytes("a\0b\xFF\n", 5);
    store.write(bytes, service, "token");
    EXPECT_EQ(store.read(service, "token"), bytes);
    store.write("second", service, "token");
    EXPECT_EQ(store.read(service, "token"), "second");
    EXPECT_EQ(itemCount(service, "token"), 1);

    store.write("other", service, "refresh");
    store.remove(service, "token");
    EXPECT_EQ(store.read(service, "token"), std::nullopt);
    EXPECT_EQ(itemCount(service, "token"), 0);
    EXPECT_EQ(store.read(service, "refresh"), "other");
    store.remove(service, "refresh");
}

TEST_F(KeychainTest, ForeignItemsAreNeverTouched) {
    const std::string foreign = "com.example.mail";
    GError* error = nullptr;
    ASSERT_TRUE(secret_password_store_sync(&keychainItemSchema(), SECRET_COLLECTION_DEFAULT, "Mail",
                                           "hunter2", nullptr, &error, "service", foreign.c_str(),
                                           "account", "me", nullptr));
    for (const std::string& service : {foreign, std::string("app.twinlantern."),
                                       std::string("App.TwinLantern.profile.x.codex")}) {
        const std::string refusal =
            "Refused Keychain access to “" + service + "”: not a TwinLantern item.";
        EXPECT_EQ(errorOf([&] { store.read(service, "me"); }),
                  TwinLanternError::unsupported(refusal));
        EXPECT_EQ(errorOf([&] { store.write("stolen", service, "me"); }).description(), refusal);
        EXPECT_EQ(errorOf([&] { store.remove(service, "me"); }).description(), refusal);
    }
    gchar* kept = secret_password_lookup_sync(&keychainItemSchema(), nullptr, &error, "service",
                                              foreign.c_str(), "account", "me", nullptr);
    ASSERT_NE(kept, nullptr);
    EXPECT_STREQ(kept, "hunter2");
    secret_password_free(kept);
    EXPECT_EQ(itemCount(foreign, "me"), 1);
}

TEST_F(KeychainTest, UsableFromSeveralThreads) {
    const std::string service = KeychainStore::service(ProfileID("threads"), ToolKind::claudeCode);
    std::vector<std::thread> threads;
    std::vector<std::optional<std::string>> seen(4);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&, i] {
            const std::string account = "account-" + std::to_string(i);
            KeychainStore own;
            own.write("secret-" + std::to_string(i), service, account);
            seen[i] = own.read(service, account);
            own.remove(service, account);
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i], "secret-" + std::to_string(i));
    }
}

// Run by CTest with no session bus at all.
TEST(KeychainWithoutService, FailuresCarryTheStatusAndForeignNamesStillFailFirst) {
    if (std::getenv("TL_NO_SECRET_SERVICE") == nullptr) {
        GTEST_SKIP() << "needs a process without a session bus (TL_NO_SECRET_SERVICE=1)";
    }
    KeychainStore store;
    const std::string service = KeychainStore::service(ProfileID("absent"), ToolKind::codex);
    const TwinLanternError unavailable = keychainError(keychain_status::notAvailable);
    EXPECT_EQ(unavailable.description(),
              "Keychain error -25291: No keychain is available. You may need to restart your "
              "computer.");
    EXPECT_EQ(errorOf([&] { store.read(service, "a"); }), unavailable);
    EXPECT_EQ(errorOf([&] { store.write("x", service, "a"); }), unavailable);
    EXPECT_EQ(errorOf([&] { store.remove(service, "a"); }), unavailable);
    EXPECT_EQ(errorOf([&] { store.read("com.example.mail", "a"); }).kind(),
              TwinLanternError::Kind::unsupported);
}

// Run by CTest in a keyring of its own, which it locks for good.
TEST(KeychainLocked, LockedItemsAreNeverTakenForMissingOnes) {
    std::string why;
    if (std::getenv("TL_LOCK_KEYRING") == nullptr) {
        GTEST_SKIP() << "locks the keyring; needs one of its own (TL_LOCK_KEYRING=1)";
    }
    if (!secretServiceRunning(why)) {
        GTEST_SKIP() << "No Secret Service could be reached (" << why << ")";
    }
    KeychainStore store;
    const std::string service = KeychainStore::service(ProfileID("locked"), ToolKind::claudeCode);
    store.write("kept", service, "token");

    GError* error = nullptr;
    SecretService* secrets = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
    ASSERT_NE(secrets, nullptr);
    SecretCollection* collection = secret_collection_for_alias_sync(
        secrets, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
    ASSERT_NE(collection, nullptr);
    GList* objects = g_list_append(nullptr, collection);
    EXPECT_EQ(secret_service_lock_sync(secrets, objects, nullptr, nullptr, &error), 1);
    g_list_free(objects);
    g_object_unref(collection);
    g_object_unref(secrets);

    // No one is there to unlock it: every operation says so, and the item stays.
    const TwinLanternError locked = keychainError(keychain_status::interactionNotAllowed);
    EXPECT_EQ(errorOf([&] { store.read(service, "token"); }), locked);
    EXPECT_EQ(errorOf([&] { store.remove(service, "token"); }), locked);
    EXPECT_EQ(errorOf([&] { store.write("new", service, "token"); }), locked);
    EXPECT_EQ(itemCount(service, "token"), 1);
    EXPECT_EQ(store.read(service, "never-written"), std::nullopt);
}
