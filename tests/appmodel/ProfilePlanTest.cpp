#include "TwinLanternApp/model/ProfilePlan.h"

#include <gtest/gtest.h>

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

} // namespace
