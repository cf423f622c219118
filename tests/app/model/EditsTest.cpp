#include "tests/support/app/AppFixture.h"

#include "tests/support/Profiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using namespace twinlantern;
using namespace twinlantern::app;
using app::test::AppFixture;

namespace {

Profile coloured(const std::string& id, const std::string& name, ProfileColor color) {
    Profile p = tltest::profile(id, name);
    p.color = color;
    return p;
}

ProfileDocument stored(const AppFixture& f) {
    return ProfileStore(f.home.paths).load();
}

std::vector<std::string> namesIn(const ProfileDocument& document) {
    std::vector<std::string> names;
    for (const Profile& p : document.profiles) {
        names.push_back(p.name);
    }
    return names;
}

TEST(CreateProfile, WithoutAColourTakesTheFirstUnusedOneElseGraphite) {
    struct Case {
        std::vector<ProfileColor> used;
        ProfileColor expected;
    };
    const std::vector<Case> cases = {
        {{}, ProfileColor::blue},
        {{ProfileColor::blue, ProfileColor::green}, ProfileColor::orange},
        {{ProfileColor::green, ProfileColor::blue, ProfileColor::orange, ProfileColor::pink},
         ProfileColor::purple},
        {{allProfileColors.begin(), allProfileColors.end()}, ProfileColor::graphite},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.used.size());
        AppFixture f;
        ProfileDocument doc;
        for (std::size_t i = 0; i < c.used.size(); ++i) {
            const std::string n = std::to_string(i);
            doc.profiles.push_back(
                coloured(std::string("p-") + n, std::string("P ") + n, c.used[i]));
        }
        f.writeDocument(doc);
        auto model = f.model(false);
        const auto created = model->createProfile("New", std::nullopt, {ToolKind::claudeCode},
                                                  Profile::Storage::managed);
        ASSERT_TRUE(created);
        EXPECT_EQ(created->color, c.expected);
        EXPECT_EQ(stored(f).profiles.back(), *created);
        EXPECT_EQ(model->document().profiles.back(), *created);
    }
}

TEST(CreateProfile, AGivenColourIsKeptEvenWhenTaken) {
    AppFixture f;
    f.writeDocument({1, {coloured("a-1", "A", ProfileColor::pink)}, {}, {}});
    auto model = f.model(false);
    const auto created =
        model->createProfile("B", ProfileColor::pink, {}, Profile::Storage::system);
    ASSERT_TRUE(created);
    EXPECT_EQ(created->color, ProfileColor::pink);
    EXPECT_EQ(created->storage, Profile::Storage::system);
}

TEST(CreateProfile, TheNameIsTrimmedAndGetsItsBadge) {
    AppFixture f;
    auto model = f.model(false);
    const auto created =
        model->createProfile("  Work  ", std::nullopt, {ToolKind::codex, ToolKind::claudeCode},
                             Profile::Storage::managed);
    ASSERT_TRUE(created);
    EXPECT_EQ(created->name, "Work");
    EXPECT_EQ(created->badge, Profile::defaultBadge("Work"));
    EXPECT_EQ(created->id.rawValue.rfind("work-", 0), 0u) << created->id.rawValue;
    EXPECT_EQ(created->tools(), (std::vector<ToolKind>{ToolKind::claudeCode, ToolKind::codex}));
    ASSERT_EQ(stored(f).profiles.size(), 1u);
    EXPECT_EQ(stored(f).profiles[0], *created);
    EXPECT_FALSE(model->alert());
}

TEST(CreateProfile, ABlankNameIsRefusedAndNothingIsWritten) {
    for (const std::string name : {"", "   ", " \t "}) {
        SCOPED_TRACE(name);
        AppFixture f;
        auto model = f.model(false);
        EXPECT_EQ(model->createProfile(name, std::nullopt, {}, Profile::Storage::managed),
                  std::nullopt);
        EXPECT_EQ(model->alert(), "Profile names can't be empty.");
        EXPECT_FALSE(tltest::exists(f.home.paths.profilesFile()));
        EXPECT_TRUE(model->document().profiles.empty());
    }
}

TEST(Edit, ChangesTheProfileWithThatIdAndNothingForAnUnknownOne) {
    AppFixture f;
    f.writeDocument({1, {tltest::profile("a-1", "A"), tltest::profile("b-1", "B")}, {}, {}});
    auto model = f.model(false);
    model->edit(ProfileID("b-1"), [](Profile& p) {
        p.name = "Bee";
        p.color = ProfileColor::green;
        p.addTool(ToolKind::claudeDesktop);
    });
    EXPECT_EQ(namesIn(stored(f)), (std::vector<std::string>{"A", "Bee"}));
    EXPECT_TRUE(stored(f).profiles[1].uses(ToolKind::claudeDesktop));
    EXPECT_EQ(model->document(), stored(f));

    const ino_t before = tltest::inode(f.home.paths.profilesFile());
    model->edit(ProfileID("gone-1"), [](Profile& p) { p.name = "X"; });
    EXPECT_EQ(tltest::inode(f.home.paths.profilesFile()), before);
    EXPECT_FALSE(model->alert());

    // A rename the store refuses.
    model->edit(ProfileID("b-1"), [](Profile& p) { p.name = "a"; });
    EXPECT_EQ(model->alert(),
              "There's already a profile called \u201c" + std::string("a") + "\u201d.");
    EXPECT_EQ(namesIn(stored(f)), (std::vector<std::string>{"A", "Bee"}));
}

TEST(AddRule, AFolderInTheHomeIsStoredWithATilde) {
    AppFixture f;
    f.writeDocument({1, {tltest::profile("a-1", "A")}, {}, {}});
    auto model = f.model(false);
    const std::string home = f.home.home();
    model->addRule(home + "/code/x", ProfileID("a-1"));
    model->addRule("~/code/../notes/", ProfileID("a-1"));
    model->addRule("/srv//data/.", ProfileID("a-1"));
    const std::vector<FolderRule> expected = {{"~/code/x", ProfileID("a-1")},
                                              {"~/notes", ProfileID("a-1")},
                                              {"/srv/data", ProfileID("a-1")}};
    EXPECT_EQ(stored(f).rules, expected);
    EXPECT_EQ(model->document().rules, expected);
}

TEST(AddRule, TheSameFolderByCaseSlashOrStarsRepointsTheOldRule) {
    struct Case {
        std::string existing;
        std::string added;
    };
    const std::vector<Case> cases = {
        {"~/Code/Proj", "~/code/proj"},
        {"~/Code/Proj/", "@/Code/Proj"},
        {"~/Code/Proj/**", "@/code/PROJ/"},
        {"@/Code/Proj", "~/code/proj"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.existing + " + " + c.added);
        AppFixture f;
        auto real = [&f](const std::string& path) {
            if (path[0] != '@') {
                return path;
            }
            std::string full = f.home.home();
            full += path.substr(1);
            return full;
        };
        f.writeDocument({1,
                         {tltest::profile("a-1", "A"), tltest::profile("b-1", "B")},
                         {{"/other", ProfileID("a-1")}, {real(c.existing), ProfileID("a-1")}},
                         {}});
        auto model = f.model(false);
        model->addRule(real(c.added), ProfileID("b-1"));
        const std::vector<FolderRule> expected = {{"/other", ProfileID("a-1")},
                                                  {real(c.existing), ProfileID("b-1")}};
        EXPECT_EQ(stored(f).rules, expected);
    }
}

TEST(AddRule, ARuleForAnUnknownProfileIsTheStoresToRefuse) {
    AppFixture f;
    auto model = f.model(false);
    model->addRule("/srv", ProfileID("nobody-1"));
    EXPECT_EQ(model->alert(), "The rule for /srv points at a profile that doesn't exist.");
    EXPECT_FALSE(tltest::exists(f.home.paths.profilesFile()));
}

TEST(RemoveRule, EveryEqualRuleGoesAndTheRestKeepTheirOrder) {
    AppFixture f;
    const FolderRule rule("~/w", ProfileID("a-1"));
    f.writeDocument({1,
                     {tltest::profile("a-1", "A"), tltest::profile("b-1", "B")},
                     {rule, {"~/x", ProfileID("a-1")}, {"~/w", ProfileID("b-1")}, rule},
                     {}});
    auto model = f.model(false);
    model->removeRule(rule);
    EXPECT_EQ(stored(f).rules,
              (std::vector<FolderRule>{{"~/x", ProfileID("a-1")}, {"~/w", ProfileID("b-1")}}));
}

TEST(Move, OffsetsMoveAsTheListShowsThem) {
    struct Case {
        std::set<std::size_t> from;
        std::size_t to;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {{0}, 2, {"B", "A", "C", "D"}},    {{3}, 0, {"D", "A", "B", "C"}},
        {{0, 2}, 4, {"B", "D", "A", "C"}}, {{0, 2}, 2, {"B", "A", "C", "D"}},
        {{1}, 1, {"A", "B", "C", "D"}},    {{1, 9}, 0, {"B", "A", "C", "D"}},
        {{9}, 0, {"A", "B", "C", "D"}},    {{0}, 9, {"B", "C", "D", "A"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.from) + " to " + std::to_string(c.to));
        AppFixture f;
        f.writeDocument({1,
                         {tltest::profile("a-1", "A"), tltest::profile("b-1", "B"),
                          tltest::profile("c-1", "C"), tltest::profile("d-1", "D")},
                         {},
                         {}});
        auto model = f.model(false);
        model->move(c.from, c.to);
        EXPECT_EQ(namesIn(stored(f)), c.expected);
        EXPECT_FALSE(model->alert());
    }
}

TEST(Move, OffsetsStaleAfterAnotherWriterDeletedAProfileMoveTheProfilesTheListShowed) {
    struct Case {
        std::set<std::size_t> from;
        std::size_t to;
        std::vector<std::string> expected;
    };
    // The list shows A B C D; another store has deleted B meanwhile.
    const std::vector<Case> cases = {
        {{2}, 0, {"C", "A", "D"}},    // C to the front, not D
        {{3}, 1, {"A", "D", "C"}},    // before B, which is gone: before C
        {{1}, 0, {"A", "C", "D"}},    // only B, gone: nothing moves
        {{0, 3}, 4, {"C", "A", "D"}}, // to the end
        {{3}, 2, {"A", "D", "C"}},    // offset 3 is past the new end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.from) + " to " + std::to_string(c.to));
        AppFixture f;
        f.writeDocument({1,
                         {tltest::profile("a-1", "A"), tltest::profile("b-1", "B"),
                          tltest::profile("c-1", "C"), tltest::profile("d-1", "D")},
                         {},
                         {}});
        auto model = f.model(false);
        ProfileStore(f.home.paths).update([](ProfileDocument& d) {
            std::erase_if(d.profiles, [](const Profile& p) { return p.id.rawValue == "b-1"; });
        });
        model->move(c.from, c.to);
        EXPECT_EQ(namesIn(stored(f)), c.expected);
        EXPECT_EQ(namesIn(model->document()), c.expected);
    }
}

TEST(SetTerminalDefault, SetsAndClears) {
    AppFixture f;
    f.writeDocument({1, {tltest::profile("a-1", "A")}, {}, {}});
    auto model = f.model(false);
    model->setTerminalDefault(ProfileID("a-1"));
    EXPECT_EQ(stored(f).cliDefault, ProfileID("a-1"));
    ASSERT_TRUE(model->terminalDefault());
    EXPECT_EQ(model->terminalDefault()->name, "A");
    model->setTerminalDefault(std::nullopt);
    EXPECT_EQ(stored(f).cliDefault, std::nullopt);
    model->setTerminalDefault(ProfileID("gone-1"));
    EXPECT_EQ(model->alert(), "The terminal default points at a profile that doesn't exist.");
    EXPECT_EQ(stored(f).cliDefault, std::nullopt);
}

TEST(CycleTerminalDefault, StepsThroughTheProfilesAndAnnouncesEachSavedOne) {
    struct Case {
        std::optional<std::string> before;
        std::string after;
    };
    const std::vector<Case> cases = {
        {std::nullopt, "a-1"}, {"a-1", "b-1"}, {"b-1", "c-1"}, {"c-1", "a-1"}, {"gone-1", "a-1"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before.value_or("unset"));
        AppFixture f;
        f.captureFeedback();
        ProfileDocument doc{1,
                            {tltest::profile("a-1", "Alpha"), tltest::profile("b-1", "Beta"),
                             tltest::profile("c-1", "Gamma")},
                            {},
                            {}};
        if (c.before) {
            doc.cliDefault = ProfileID(*c.before);
        }
        f.writeDocument(doc);
        auto model = f.model(false);
        model->cycleTerminalDefault();
        EXPECT_EQ(stored(f).cliDefault, ProfileID(c.after));
        const std::string name = stored(f).profile(ProfileID(c.after))->name;
        EXPECT_EQ(f.posted, std::vector<std::string>{"Terminal default: \u2068" + name + "\u2069"});
        EXPECT_FALSE(model->alert());
    }
}

TEST(CycleTerminalDefault, WithNoProfilesNothingHappens) {
    AppFixture f;
    f.captureFeedback();
    auto model = f.model(false);
    model->cycleTerminalDefault();
    EXPECT_TRUE(f.posted.empty());
    EXPECT_FALSE(model->alert());
    EXPECT_FALSE(tltest::exists(f.home.paths.profilesFile()));
}

TEST(CycleTerminalDefault, AFailedSaveShowsTheAlertAndAnnouncesNothing) {
    AppFixture f;
    f.captureFeedback();
    f.writeDocument({1, {tltest::profile("a-1", "Alpha")}, {}, {}});
    auto model = f.model(false);
    // profiles.json becomes a folder: neither the store nor the reload can read it.
    tltest::removeTree(f.home.paths.profilesFile());
    tltest::makeDirs(f.home.paths.profilesFile());
    model->cycleTerminalDefault();
    ASSERT_TRUE(model->alert());
    EXPECT_NE(model->alert()->find(std::strerror(EISDIR)), std::string::npos) << *model->alert();
    EXPECT_TRUE(f.posted.empty());
    EXPECT_TRUE(model->loadError());
    EXPECT_EQ(namesIn(model->document()), std::vector<std::string>{"Alpha"});
}

} // namespace
