#include "tests/core/doctor/DoctorFixture.h"

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::testing;
using Level = DoctorCheck::Level;

namespace {

struct Signed {
    ProfileEntry profile;
    std::optional<std::string> claudeAnswer; // nothing: no data folder
    std::optional<std::string> codexAnswer;
};

void prepare(DoctorSetup& s, const std::vector<Signed>& profiles) {
    std::vector<ProfileEntry> entries;
    for (const auto& p : profiles) {
        entries.push_back(p.profile);
        const ProfileID id(p.profile.id);
        if (p.claudeAnswer) {
            writeFile(s.h.paths.dataDirectory(ToolKind::claudeCode, id).value() + "/answer",
                      *p.claudeAnswer);
        }
        if (p.codexAnswer) {
            writeFile(s.h.paths.dataDirectory(ToolKind::codex, id).value() + "/answer",
                      *p.codexAnswer);
        }
    }
    s.writeProfiles(profilesJson(entries));
    s.fakeTool(s.bin, "claude");
    s.fakeTool(s.bin, "codex");
}

std::vector<DoctorCheck> deepOnly(const std::vector<DoctorCheck>& checks) {
    std::vector<DoctorCheck> out;
    for (const auto& c : checks) {
        if (c.id.starts_with("status.") || c.id.starts_with("account.same.")) {
            out.push_back(c);
        }
    }
    return out;
}

} // namespace

TEST(DoctorAccounts, DeepRunReportsEachStatusAndGroupsSharedAccounts) {
    DoctorSetup s;
    prepare(
        s,
        {
            {{"ann", "Ann", {"claude-code"}},
             "banner line\n{\"loggedIn\":true,\"email\":\"Ann@Example.com\",\"orgName\":\"Acme\","
             "\"subscriptionType\":\"max\",\"authMethod\":\"claude.ai\"}\n",
             std::nullopt},
            {{"bob", "Bob", {"claude-code", "codex"}},
             "{\"loggedIn\":true,\"email\":\"ann@example.COM\"}",
             "Not logged in\n"},
            {{"cat", "Cat", {"claude-code", "codex"}},
             "{\"loggedIn\":true,\"email\":\"cat@example.com\"}",
             "  Logged in using ChatGPT  \n"},
            {{"dan", "Dan", {"claude-code"}}, "{\"loggedIn\":true}", std::nullopt},
            {{"eve", "Eve's", {"claude-code"}}, std::nullopt, std::nullopt},
        });
    EXPECT_EQ(
        deepOnly(s.run(true)),
        (std::vector<DoctorCheck>{
            {"status.ann.claude-code",
             Level::ok,
             "Ann · Claude Code: Signed in",
             "Ann@Example.com · Acme · max · claude.ai",
             {}},
            {"status.bob.claude-code",
             Level::ok,
             "Bob · Claude Code: Signed in",
             "ann@example.COM",
             {}},
            {"status.cat.claude-code",
             Level::ok,
             "Cat · Claude Code: Signed in",
             "cat@example.com",
             {}},
            {"status.dan.claude-code", Level::ok, "Dan · Claude Code: Signed in", "", {}},
            {"status.eve.claude-code", Level::info, "Eve's · Claude Code: Not set up", {}, {}},
            {"account.same.claude-code", Level::warning,
             "Ann and Bob use the same Claude Code account",
             "Profiles are meant to keep separate accounts apart.",
             "Sign one of them in to a different account, or merge the profiles."},
            {"status.bob.codex", Level::warning, "Bob · Codex: Needs attention",
             "Signed out. Sign in again.", "Sign in again: `twinlantern login Bob codex`."},
            {"status.cat.codex", Level::ok, "Cat · Codex: Signed in", "ChatGPT", {}},
        }));
    // One status command per profile and tool, one after another, Claude Code first.
    EXPECT_EQ(s.calls(), "claude auth status\nclaude auth status\nclaude auth status\n"
                         "claude auth status\ncodex login status\ncodex login status\n");
}

TEST(DoctorAccounts, MissingToolsAndUnreadableAnswersBecomeChecks) {
    DoctorSetup s;
    prepare(s, {{{"ann", "Ann Lee", {"claude-code", "codex"}}, "not json", "Logged in using"}});
    ::unlink((s.bin + "/codex").c_str());
    writeFile(s.bin + "/claude", "#!/bin/sh\nexit 3\n", 0755);
    const auto checks = deepOnly(s.run(true));
    ASSERT_EQ(checks.size(), 2u);
    EXPECT_EQ(checks[0],
              (DoctorCheck{"status.ann.claude-code", Level::warning,
                           "Ann Lee · Claude Code: Needs attention",
                           "Couldn't read `claude auth status` (exit 3).",
                           "Sign in again: `twinlantern login 'Ann Lee' claude-code`."}));
    EXPECT_EQ(
        checks[1],
        (DoctorCheck{"status.ann.codex", Level::info, "Ann Lee · Codex: Not installed", {}, {}}));

    // The fix names the profile for the shell exactly.
    TempDir scratch;
    writeFile(scratch / "twinlantern", "#!/bin/sh\nprintf '%s\\n' \"$@\"\n", 0755);
    auto command = backquoted(*checks[0].fix);
    ASSERT_EQ(command.size(), 1u);
    EXPECT_EQ(runShell({"-c", command[0]}, {{"PATH", scratch.path() + ":/usr/bin:/bin"}}).out,
              "login\nAnn Lee\nclaude-code\n");
}
