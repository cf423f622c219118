#include "TwinLanternApp/ui/terminal/FolderAnswerWhy.h"

#include "tests/support/Profiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::ui;

namespace {

// The real resolver over a temporary home: each reason as the folder test shows it.
class FolderAnswerWhyTest : public ::testing::Test {
protected:
    tltest::TempHome home;
    ProfileDocument document;

    void SetUp() override {
        document.profiles = {tltest::profile("work", "Work"), tltest::profile("home", "Personal")};
    }
    Resolution resolve(const std::string& path) const {
        return RuleResolver{document, home.home()}.resolve(path, home.home());
    }
};

TEST_F(FolderAnswerWhyTest, FolderRuleNamesTheFolderAsStored) {
    document.rules = {FolderRule("~/Work/**", ProfileID("work"))};
    tltest::makeDirs(home.dir / "Work/project");
    const Resolution r = resolve("~/Work/project");
    EXPECT_EQ(folderAnswerName(r), "Work");
    EXPECT_EQ(folderAnswerWhy(r, home.paths), "because of ~/Work");
}

TEST_F(FolderAnswerWhyTest, DotfileIsShownWithTheHomeAsTilde) {
    tltest::makeDirs(home.dir / "Code/app/src");
    tltest::writeFile(home.dir / "Code/app/.twinlantern", "Personal\n");
    const Resolution r = resolve("~/Code/app/src");
    EXPECT_EQ(folderAnswerName(r), "Personal");
    EXPECT_EQ(folderAnswerWhy(r, home.paths), "because of ~/Code/app/.twinlantern");
}

TEST_F(FolderAnswerWhyTest, TerminalDefaultAndNone) {
    document.cliDefault = ProfileID("home");
    const Resolution withDefault = resolve("/tmp");
    EXPECT_EQ(folderAnswerName(withDefault), "Personal");
    EXPECT_EQ(folderAnswerWhy(withDefault, home.paths), "(default)");

    document.cliDefault.reset();
    const Resolution none = resolve("/tmp");
    EXPECT_FALSE(none.profile);
    EXPECT_EQ(folderAnswerName(none), "Usual accounts");
    EXPECT_EQ(folderAnswerWhy(none, home.paths), "(no profile applies)");
}

} // namespace
