#include "TwinLanternApp/model/ProfilePlan.h"

#include "TwinLanternApp/model/AppModel.h"
#include "tests/support/Profiles.h"
#include "tests/support/app/AppFixture.h"
#include "tests/support/fakeapp/FakeApp.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <regex>

using namespace twinlantern;
using namespace twinlantern::app;

namespace {

using Entry = ProfilePlan::Entry;
const std::set<ToolKind> apps{ToolKind::claudeDesktop, ToolKind::chatGPTApp};

Entry row(std::string id, std::string name, bool existing = false, bool include = true,
          std::set<ToolKind> tools = {ToolKind::claudeCode}) {
    return {std::move(id), include,      std::move(name), ProfileColor::blue,
            existing,      std::nullopt, std::move(tools)};
}

struct ValidityCase {
    const char* what;
    std::vector<Entry> entries;
    bool valid;
};

// Names the case in the test's name, not its bytes.
void PrintTo(const ValidityCase& c, std::ostream* out) {
    *out << c.what;
}

class PlanValidity : public ::testing::TestWithParam<ValidityCase> {};

TEST_P(PlanValidity, IsJudgedOnTheIncludedRowsOnly) {
    ProfilePlan plan{GetParam().entries};
    EXPECT_EQ(plan.isValid(), GetParam().valid) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlanValidity,
    ::testing::Values(
        ValidityCase{"two distinct names", {row("a", "Work"), row("b", "Personal", true)}, true},
        ValidityCase{"no rows", {}, false},
        ValidityCase{"every row unticked", {row("a", "Work", false, false)}, false},
        ValidityCase{"names equal but for case and a trailing space",
                     {row("a", "Work"), row("b", "work ")},
                     false},
        ValidityCase{"the same clash, one row unticked",
                     {row("a", "Work"), row("b", "work ", false, false)},
                     true},
        ValidityCase{"a tab and spaces around the name clash too",
                     {row("a", "\t Work"), row("b", "WORK\t")},
                     false},
        ValidityCase{"a name of spaces", {row("a", "Work"), row("b", "   ")}, false},
        ValidityCase{
            "a name of spaces, unticked", {row("a", "Work"), row("b", "   ", false, false)}, true},
        ValidityCase{"an empty name", {row("a", "")}, false},
        // Line breaks are not white space here, as in the store's check, which then
        // refuses the name itself.
        ValidityCase{"a line break is part of the name", {row("a", "\n")}, true},
        ValidityCase{"two rows keep the accounts",
                     {row("a", "Work", true), row("b", "Personal", true)},
                     false},
        ValidityCase{"two rows keep the accounts, one unticked",
                     {row("a", "Work", true), row("b", "Personal", true, false)},
                     true},
        ValidityCase{"a row without tools",
                     {row("a", "Work"), row("b", "Personal", false, true, {})},
                     false},
        ValidityCase{"a row without tools, unticked",
                     {row("a", "Work"), row("b", "Personal", false, false, {})},
                     true},
        ValidityCase{"caseless beyond ASCII", {row("a", "ÉCOLE"), row("b", "école")}, false}));

TEST(ProfilePlan, StartsWithWorkOnItsOwnFoldersAndPersonalOnTheAccountsAlreadyHere) {
    const ProfilePlan plan = ProfilePlan::starting();
    ASSERT_EQ(plan.entries.size(), 2u);
    EXPECT_EQ(plan.entries[0],
              (Entry{"work", true, "Work", ProfileColor::blue, false, std::nullopt, {}}));
    EXPECT_EQ(plan.entries[1],
              (Entry{"personal", true, "Personal", ProfileColor::green, true, std::nullopt, {}}));
    EXPECT_FALSE(plan.isValid()); // until the fill gives the rows tools
}

TEST(ProfilePlan, TheFillGivesEmptyRowsTheAppsOrClaudeDesktopAndLeavesOthersAlone) {
    ProfilePlan plan = ProfilePlan::starting();
    plan.entries[1].tools = {ToolKind::codex};
    plan.fillEmptyTools(apps);
    EXPECT_EQ(plan.entries[0].tools, apps);
    EXPECT_EQ(plan.entries[1].tools, std::set<ToolKind>{ToolKind::codex});
    EXPECT_TRUE(plan.isValid());

    ProfilePlan bare = ProfilePlan::starting();
    bare.fillEmptyTools({});
    for (const Entry& entry : bare.entries) {
        EXPECT_EQ(entry.tools, std::set<ToolKind>{ToolKind::claudeDesktop});
    }
    // A row added after the fill keeps the empty set it was given.
    bare.addEntry({});
    bare.entries.back().name = "Extra";
    EXPECT_TRUE(bare.entries.back().tools.empty());
    EXPECT_FALSE(bare.isValid());
    bare.entries.back().tools = {ToolKind::codex};
    EXPECT_TRUE(bare.isValid());
}

TEST(ProfilePlan, AnAddedRowTakesTheFirstFreeColourTheToolsGivenAndANumberedId) {
    ProfilePlan plan = ProfilePlan::starting();
    plan.entries[0].include = false; // unticked rows still hold their colour
    plan.addEntry(apps);
    const Entry& added = plan.entries.back();
    EXPECT_EQ(added.color, ProfileColor::orange);
    EXPECT_TRUE(added.include);
    EXPECT_EQ(added.name, "");
    EXPECT_FALSE(added.existing);
    EXPECT_EQ(added.folder, std::nullopt);
    EXPECT_EQ(added.tools, apps);
    EXPECT_TRUE(std::regex_match(added.id, std::regex("extra-3-[0-9A-F]{4}"))) << added.id;
}

TEST(ProfilePlan, WithAllSixColoursInUseTheNextRowIsGraphiteAndNumberedSeven) {
    ProfilePlan plan = ProfilePlan::starting();
    for (int i = 0; i < 4; ++i) {
        plan.addEntry({});
    }
    std::vector<ProfileColor> colours;
    for (const Entry& entry : plan.entries) {
        colours.push_back(entry.color);
    }
    EXPECT_EQ(colours, std::vector<ProfileColor>(allProfileColors.begin(), allProfileColors.end()));
    plan.addEntry({});
    EXPECT_EQ(plan.entries.back().color, ProfileColor::graphite);
    EXPECT_TRUE(std::regex_match(plan.entries.back().id, std::regex("extra-7-[0-9A-F]{4}")))
        << plan.entries.back().id;
    // Row ids stay distinct: they key the mapping that apply builds.
    std::set<std::string> ids;
    for (const Entry& entry : plan.entries) {
        ids.insert(entry.id);
    }
    EXPECT_EQ(ids.size(), plan.entries.size());
}

// ---- apply, over a real store on a temporary home ----

using twinlantern::app::test::AppFixture;

Profile expectProfile(const ProfileDocument& document, const ProfileID& id) {
    const Profile* found = document.profile(id);
    EXPECT_NE(found, nullptr) << id.rawValue;
    return found ? *found : Profile{};
}

off_t fileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

TEST(ProfilePlanApply, TheStartingPlanWithBothAppsMakesWorkAndPersonalAndTheTerminalDefault) {
    AppFixture f;
    tltest::FakeApp claude(f.home.paths.applicationsDirectory, "Claude", DesktopInstall::bundleID);
    tltest::FakeApp chatGPT(f.home.paths.applicationsDirectory, "ChatGPT",
                            toolInfo(ToolKind::chatGPTApp).bundleID);
    auto model = f.model(false);
    ASSERT_EQ(model->installedApps(), apps);

    ProfilePlan plan = ProfilePlan::starting();
    plan.fillEmptyTools(model->installedApps());
    const std::vector<ProfileID> ids = plan.apply(*model, model->installedTools());

    const ProfileDocument stored = ProfileStore(f.home.paths).load();
    ASSERT_EQ(ids.size(), 2u);
    ASSERT_EQ(stored.profiles.size(), 2u);
    EXPECT_EQ(stored.profiles[0].id, ids[0]);
    EXPECT_EQ(stored.profiles[1].id, ids[1]);
    const std::vector<ToolKind> both{ToolKind::claudeDesktop, ToolKind::chatGPTApp};
    const Profile work = stored.profiles[0];
    EXPECT_EQ(work.name, "Work");
    EXPECT_EQ(work.color, ProfileColor::blue);
    EXPECT_EQ(work.storage, Profile::Storage::managed);
    EXPECT_EQ(work.tools(), both);
    const Profile personal = stored.profiles[1];
    EXPECT_EQ(personal.name, "Personal");
    EXPECT_EQ(personal.color, ProfileColor::green);
    EXPECT_EQ(personal.storage, Profile::Storage::system);
    EXPECT_EQ(personal.tools(), both);
    EXPECT_EQ(stored.cliDefault, personal.id);
    EXPECT_TRUE(stored.rules.empty());
    EXPECT_EQ(model->document(), stored);
    EXPECT_EQ(model->alert(), std::nullopt);
}

TEST(ProfilePlanApply, ANameAlreadyInTheFileIsReusedUnchangedAndItsFolderIsNotAdded) {
    AppFixture f;
    ProfileDocument before;
    Profile home = tltest::profile("home-1", "Home", Profile::Storage::managed, {ToolKind::codex});
    home.color = ProfileColor::purple;
    before.profiles.push_back(home);
    f.writeDocument(before);
    auto model = f.model(false);

    const std::string folder = f.home.home() + "/code";
    tltest::makeDirs(folder);
    ProfilePlan plan{{
        {"a", true, "Side", ProfileColor::orange, false, folder, {}},
        {"b", true, "  hOME\t", ProfileColor::green, true, folder, {ToolKind::claudeDesktop}},
    }};
    // A row without tools gets the argument's.
    const std::vector<ProfileID> ids = plan.apply(*model, {ToolKind::claudeCode});

    const ProfileDocument stored = ProfileStore(f.home.paths).load();
    ASSERT_EQ(stored.profiles.size(), 2u);
    EXPECT_EQ(stored.profiles[0], home);
    const Profile side = stored.profiles[1];
    EXPECT_EQ(ids, (std::vector<ProfileID>{side.id, home.id}));
    EXPECT_EQ(side.name, "Side");
    EXPECT_EQ(side.tools(), std::vector<ToolKind>{ToolKind::claudeCode});
    // Only the new profile's folder, stored short against the home folder.
    EXPECT_EQ(stored.rules, (std::vector<FolderRule>{FolderRule("~/code", side.id)}));
    // The reused row keeps the accounts, so the terminal default is the old profile.
    EXPECT_EQ(stored.cliDefault, home.id);
    EXPECT_EQ(model->alert(), std::nullopt);
}

TEST(ProfilePlanApply, RowsWithoutToolsAndNoFallbackGetAllFour) {
    AppFixture f;
    auto model = f.model(false);
    ProfilePlan plan{{{"a", true, "Work", ProfileColor::pink, false, std::nullopt, {}}}};
    const std::vector<ProfileID> ids = plan.apply(*model, {});
    ASSERT_EQ(ids.size(), 1u);
    const Profile work = expectProfile(model->document(), ids[0]);
    EXPECT_EQ(work.tools(), std::vector<ToolKind>(allToolKinds.begin(), allToolKinds.end()));
    EXPECT_EQ(work.color, ProfileColor::pink);
    EXPECT_EQ(model->document().cliDefault, std::nullopt); // no row keeps the accounts
}

TEST(ProfilePlanApply, ASecondSystemProfileFailsWithTheAlertAndGetsNoIdNorTheDefault) {
    AppFixture f;
    ProfileDocument before;
    before.profiles.push_back(tltest::profile("mine-1", "Mine", Profile::Storage::system));
    f.writeDocument(before);
    auto model = f.model(false);

    ProfilePlan plan = ProfilePlan::starting();
    plan.fillEmptyTools({});
    const std::vector<ProfileID> ids = plan.apply(*model, {});

    const ProfileDocument stored = ProfileStore(f.home.paths).load();
    ASSERT_EQ(stored.profiles.size(), 2u);
    EXPECT_EQ(stored.profiles[1].name, "Work");
    EXPECT_EQ(ids, std::vector<ProfileID>{stored.profiles[1].id});
    EXPECT_EQ(stored.cliDefault, std::nullopt);
    EXPECT_EQ(model->alert(), "Only one profile can use the tools' default setup.");
    EXPECT_EQ(model->document(), stored);
}

TEST(ProfilePlanApply, AFailedFolderRuleKeepsTheProfileInTheResultUnderTheAlert) {
    const std::string folderName = "/projects/acme";
    const ProfilePlan plan{
        {{"a", true, "Work", ProfileColor::blue, false, std::nullopt, {ToolKind::codex}}}};
    // The file's size after the profile and after its rule, measured on a scratch home.
    off_t withProfile = 0, withRule = 0;
    {
        AppFixture scratch;
        auto model = scratch.model(false);
        const std::vector<ProfileID> ids = plan.apply(*model, {});
        ASSERT_EQ(ids.size(), 1u);
        withProfile = fileSize(scratch.home.paths.profilesFile());
        model->addRule(scratch.home.home() + folderName, ids[0]);
        withRule = fileSize(scratch.home.paths.profilesFile());
        ASSERT_LT(withProfile, withRule);
    }
    AppFixture f;
    auto model = f.model(false);
    ProfilePlan withFolder = plan;
    withFolder.entries[0].folder = f.home.home() + folderName;
    std::vector<ProfileID> ids;
    {
        const tltest::FileSizeLimit limit(static_cast<rlim_t>((withProfile + withRule) / 2));
        ids = withFolder.apply(*model, {});
    }
    ASSERT_EQ(ids.size(), 1u);
    const ProfileDocument stored = ProfileStore(f.home.paths).load();
    ASSERT_EQ(stored.profiles.size(), 1u);
    EXPECT_EQ(stored.profiles[0].id, ids[0]);
    EXPECT_TRUE(stored.rules.empty());
    ASSERT_TRUE(model->alert());
    EXPECT_EQ(model->alert()->rfind("Couldn't save profiles: ", 0), 0u) << *model->alert();
    EXPECT_EQ(model->document(), stored);
}

} // namespace
