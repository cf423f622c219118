#include "core/tools/InMemorySecretStore.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace twinlantern;

TEST(InMemorySecretStore, KeepsEachServiceAndAccountApart) {
    InMemorySecretStore store;
    EXPECT_EQ(store.read("a", "me"), std::nullopt);
    store.remove("a", "me");
    store.write("one", "a", "me");
    store.write("two", "b", "me");
    // A NUL in a name can't make two pairs collide with each other's keys.
    store.write("three", std::string("a\0m", 3), "e");
    store.write("one again", "a", "me");
    EXPECT_EQ(store.read("a", "me"), "one again");
    store.remove("b", "me");
    EXPECT_EQ(store.read("b", "me"), std::nullopt);
    EXPECT_EQ(store.read("a", "me"), "one again");
    EXPECT_EQ(store.read(std::string("a\0m", 3), "e"), "three");
}

TEST(InMemorySecretStore, SharedBetweenThreads) {
    InMemorySecretStore store;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&store, t] {
            for (int i = 0; i < 500; ++i) {
                const std::string account = std::to_string(t) + "-" + std::to_string(i);
                store.write(account, "s", account);
                if (store.read("s", account) != account) {
                    ADD_FAILURE() << account;
                }
                if (i % 2 == 0) {
                    store.remove("s", account);
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(store.read("s", "3-499"), "3-499");
    EXPECT_EQ(store.read("s", "3-498"), std::nullopt);
}
