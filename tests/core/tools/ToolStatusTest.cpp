#include "core/tools/ToolStatus.h"

#include "core/base/JsonDecode.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace twinlantern;

TEST(SignInCommand, ShellLineShapes) {
    EXPECT_EQ((SignInCommand{"/Apps/My Tool/claude", {}, {}, {}}).shellLine(),
              "'/Apps/My Tool/claude'");
    EXPECT_EQ((SignInCommand{"/bin/claude", {"auth", "login"}, {{"B", "2"}, {"A", "x y"}}, {}})
                  .shellLine(),
              "env A='x y' B=2 /bin/claude auth login");
    EXPECT_EQ(
        (SignInCommand{"/bin/codex", {"login"}, {{"CODEX_HOME", "/h/c"}}, {"Z", "A"}}).shellLine(),
        "env -u Z -u A CODEX_HOME=/h/c /bin/codex login");
    EXPECT_EQ((SignInCommand{"/bin/codex", {"login"}, {}, {"CODEX_HOME"}}).shellLine(),
              "env -u CODEX_HOME /bin/codex login");
}

TEST(ToolStatus, LabelsIgnorePayload) {
    EXPECT_EQ(ToolStatus::signedIn({}).label(), "Signed in");
    EXPECT_EQ(ToolStatus::ready("anything").label(), "Set up");
    EXPECT_EQ(ToolStatus::needsAttention("x").label(), "Needs attention");
    EXPECT_EQ(ToolStatus::notInstalled().label(), "Not installed");
    EXPECT_EQ(ToolStatus::notSetUp().label(), "Not set up");
    EXPECT_NE(ToolStatus::ready("a"), ToolStatus::ready("b"));
}

TEST(AccountInfo, SameAccountKeyAndJson) {
    AccountInfo account;
    account.organizationID = "Org-ABC";
    EXPECT_EQ(account.sameAccountKey(), std::nullopt);
    account.email = "Me@Example.COM";
    EXPECT_EQ(account.sameAccountKey(), "me@example.com|Org-ABC");
    account.organizationID.reset();
    EXPECT_EQ(account.sameAccountKey(), "me@example.com|");

    account.method = "ChatGPT";
    const nlohmann::json j = account;
    EXPECT_EQ(j, nlohmann::json::parse(R"({"email":"Me@Example.COM","method":"ChatGPT"})"));
    const auto back =
        nlohmann::json::parse(R"({"email":"a@b","plan":null,"other":1})").get<AccountInfo>();
    EXPECT_EQ(back, (AccountInfo{"a@b", std::nullopt, std::nullopt, std::nullopt, std::nullopt}));
    EXPECT_THROW(nlohmann::json::parse(R"({"email":7})").get<AccountInfo>(), JsonDecodeError);
}
