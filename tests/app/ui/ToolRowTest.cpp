#include "TwinLanternApp/ui/profiles/ToolRow.h"

#include "TwinLanternMac/apps/ChatGPTAppAdapter.h"
#include "tests/app/ui/Accessibility.h"
#include "tests/app/ui/UiTest.h"
#include "tests/support/Profiles.h"
#include "tests/support/fakeapp/FakeApp.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::ui;
using namespace std::chrono_literals;
using test::UiModel;

namespace {

// The ChatGPT app takes the profile's Codex login: a Codex that needs attention reads
// as not signed in there, in the secondary colour; its Open starts the profile's app.
TEST(ToolRowWidget, ChatGPTAppOverASignedOutCodexReadsNotSignedInAndOpens) {
    UiModel ui;
    tltest::FakeApp chatGPT(ui.fixture.home.paths.applicationsDirectory, "ChatGPT",
                            ChatGPTAppAdapter::appBundleID);
    ProfileDocument doc;
    const Profile work = tltest::profile("work-1", "Work", Profile::Storage::managed,
                                         {ToolKind::chatGPTApp, ToolKind::codex});
    doc.profiles = {work};
    ui.fixture.writeDocument(doc);
    ui.fixture.folder(ToolKind::codex, "work-1");
    ui.start();
    ToolRow chat(*ui.bridge, work, ToolKind::chatGPTApp);
    ToolRow codex(*ui.bridge, work, ToolKind::codex);
    EXPECT_EQ(chat.text()->caption(), QStringLiteral("Checking…"));
    ui.refreshStatuses();
    EXPECT_EQ(codex.text()->caption(), QStringLiteral("Needs signing in"));
    EXPECT_TRUE(codex.text()->attention());
    EXPECT_EQ(chat.text()->caption(), QStringLiteral("Not signed in"));
    EXPECT_FALSE(chat.text()->attention());
    // Name and caption are one element; the button is apart, with its tooltip.
    EXPECT_EQ(chat.text()->accessibleName(), QStringLiteral("ChatGPT app, Not signed in"));
    ASSERT_EQ(chat.buttons().size(), 1u);
    QPushButton* open = chat.buttons().front();
    EXPECT_EQ(open->text(), QStringLiteral("Open"));
    EXPECT_EQ(open->toolTip(), QStringLiteral("Sign in inside the window that opens"));
    EXPECT_TRUE(test::unnamedControls(&chat).empty());

    chat.show();
    QTest::mouseClick(open, Qt::LeftButton);
    ui.settle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !chatGPT.runs().empty(); }, tltest::patienceMs));
    const auto run = chatGPT.run(chatGPT.runs().front());
    ASSERT_TRUE(run);
    EXPECT_EQ(run->environment.at("CODEX_HOME"),
              ui.fixture.home.paths.dataDirectory(ToolKind::codex, ProfileID("work-1")).value());
    ui.fixture.scheduler.advance(1s);
    ui.settle();
    EXPECT_EQ(chat.buttons().front()->text(), QStringLiteral("Show"));
    chatGPT.killAll();
}

} // namespace
