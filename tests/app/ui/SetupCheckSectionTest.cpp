#include "TwinLanternApp/ui/advanced/SetupCheckSection.h"
#include "TwinLanternApp/ui/frame/Appearance.h"

#include "tests/app/ui/Accessibility.h"
#include "tests/app/ui/UiTest.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace twinlantern;
using namespace twinlantern::ui;
using test::UiModel;

namespace {

QString plain(const QLabel* label) {
    QTextDocument document;
    document.setHtml(label->text());
    return document.toPlainText();
}

// The deep check over a real model on a temporary home, run by the scheduler in
// virtual time.
struct SetupCheckSectionTest : ::testing::Test {
    UiModel ui;
    std::unique_ptr<SetupCheckSection> section;

    void start() {
        ui.start();
        section = std::make_unique<SetupCheckSection>(*ui.model);
        section->resize(560, 300);
        test::showActive(section.get());
    }
    void TearDown() override { section.reset(); }

    // What the doctor finds now, through the model, kept as the section keeps it.
    std::vector<DoctorCheck> expectedProblems() {
        std::optional<std::vector<DoctorCheck>> checks;
        ui.model->runDoctor(true, [&](std::vector<DoctorCheck> got) { checks = std::move(got); });
        EXPECT_TRUE(ui.fixture.scheduler.runUntil([&] { return checks.has_value(); }));
        std::vector<DoctorCheck> kept;
        for (const DoctorCheck& check : checks.value_or(std::vector<DoctorCheck>{})) {
            if (check.level >= DoctorCheck::Level::warning) {
                kept.push_back(check);
            }
        }
        return kept;
    }
};

TEST_F(SetupCheckSectionTest, AFailureAndAWarningGiveTwoToFixInTheDoctorsOrder) {
    // A profiles file that can't be read, and another account switcher on PATH.
    tltest::writeFile(ui.fixture.home.paths.profilesFile(), "{\"version\": 1, \"prof", 0600);
    ui.fixture.writeFakeTool(ui.fixture.bin, "cswap");
    start();
    EXPECT_EQ(section->title(), QStringLiteral("Setup"));
    EXPECT_EQ(section->checkButton()->text(), QStringLiteral("Check Setup"));
    EXPECT_TRUE(section->summary()->isHidden());
    EXPECT_TRUE(section->rows().empty());
    EXPECT_FALSE(section->problems());
    ui.settle();
    EXPECT_FALSE(section->problems()); // showing it runs nothing

    section->checkButton()->click();
    EXPECT_TRUE(section->running());
    EXPECT_EQ(section->checkButton()->text(), QStringLiteral("Checking…"));
    EXPECT_FALSE(section->checkButton()->isEnabled());
    ASSERT_TRUE(ui.fixture.scheduler.runUntil([&] { return !section->running(); }));
    QApplication::processEvents();

    EXPECT_EQ(section->checkButton()->text(), QStringLiteral("Check Setup"));
    EXPECT_TRUE(section->checkButton()->isEnabled());
    ASSERT_TRUE(section->problems());
    const auto& problems = *section->problems();
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].id, "profiles");
    EXPECT_EQ(problems[0].level, DoctorCheck::Level::failure);
    EXPECT_EQ(problems[1].id, "conflicts");
    EXPECT_EQ(problems[1].level, DoctorCheck::Level::warning);
    EXPECT_EQ(problems, expectedProblems());

    EXPECT_TRUE(section->summary()->isVisible());
    EXPECT_EQ(section->summary()->text(), QStringLiteral("2 to fix"));
    EXPECT_EQ(section->summary()->palette().color(QPalette::WindowText),
              appearance::orange(section->palette()));
    ASSERT_EQ(section->rows().size(), 2u);
    for (std::size_t i = 0; i < problems.size(); ++i) {
        SCOPED_TRACE(problems[i].id);
        const SetupCheckRow* row = section->rows()[i];
        EXPECT_TRUE(row->isVisible());
        EXPECT_EQ(plain(row->title()), QString::fromStdString(problems[i].title));
        ASSERT_NE(row->fix(), nullptr);
        EXPECT_EQ(plain(row->fix()), QString::fromStdString(*problems[i].fix));
        EXPECT_TRUE(row->fix()->textInteractionFlags() & Qt::TextSelectableByMouse);
    }
    EXPECT_TRUE(section->rows()[0]->icon()->isFailure());
    EXPECT_FALSE(section->rows()[1]->icon()->isFailure());
    EXPECT_EQ(section->rows()[1]->icon()->color(), appearance::orange(section->palette()));
    EXPECT_NE(section->rows()[0]->icon()->color(), section->rows()[1]->icon()->color());
    // Above the second row, in the section's order.
    EXPECT_LT(section->rows()[0]->mapTo(section.get(), QPoint()).y(),
              section->rows()[1]->mapTo(section.get(), QPoint()).y());
    EXPECT_EQ(test::unnamedControls(section.get()), std::vector<std::string>{});
    test::expectTabReachesEveryControl(section.get());

    // Fixed: the next run replaces the list; the old rows stay while it runs.
    ::unlink(ui.fixture.home.paths.profilesFile().c_str());
    ::unlink((ui.fixture.bin + "/cswap").c_str());
    section->checkButton()->click();
    EXPECT_TRUE(section->running());
    EXPECT_EQ(section->rows().size(), 2u);
    EXPECT_EQ(section->summary()->text(), QStringLiteral("2 to fix"));
    ASSERT_TRUE(ui.fixture.scheduler.runUntil([&] { return !section->running(); }));
    QApplication::processEvents();
    EXPECT_EQ(section->problems(), std::vector<DoctorCheck>{});
    EXPECT_TRUE(section->rows().empty());
    EXPECT_EQ(section->summary()->text(), QStringLiteral("All good"));
}

TEST_F(SetupCheckSectionTest, OnlyOkAndInfoGiveAllGoodInGreen) {
    start();
    section->checkButton()->click();
    ASSERT_TRUE(ui.fixture.scheduler.runUntil([&] { return !section->running(); }));
    QApplication::processEvents();
    EXPECT_TRUE(expectedProblems().empty());
    EXPECT_EQ(section->problems(), std::vector<DoctorCheck>{});
    EXPECT_TRUE(section->rows().empty());
    EXPECT_EQ(section->summary()->text(), QStringLiteral("All good"));
    const QColor colour = section->summary()->palette().color(QPalette::WindowText);
    EXPECT_GT(colour.green(), colour.red());
    EXPECT_GT(colour.green(), colour.blue());
}

TEST_F(SetupCheckSectionTest, AResultAfterTheSectionWentIsDropped) {
    start();
    section->checkButton()->click();
    section.reset();
    ui.settle(); // the doctor's answer finds nobody, and nothing crashes
    EXPECT_EQ(ui.fixture.scheduler.jobsRunning(), 0);
}

TEST(SetupCheckRow, AProblemWithoutAFixHasNoCaptionAndItsTitleIsMarkdown) {
    const SetupCheckRow row(
        DoctorCheck{"x", DoctorCheck::Level::warning, "Run `twinlantern`", "detail", std::nullopt});
    EXPECT_EQ(row.fix(), nullptr);
    EXPECT_EQ(plain(row.title()), QStringLiteral("Run twinlantern"));
    EXPECT_FALSE(row.icon()->isFailure());
    const SetupCheckRow failure(
        DoctorCheck{"y", DoctorCheck::Level::failure, "Broken", std::nullopt, "Fix **it**"});
    EXPECT_TRUE(failure.icon()->isFailure());
    ASSERT_NE(failure.fix(), nullptr);
    EXPECT_EQ(plain(failure.fix()), QStringLiteral("Fix it"));
    EXPECT_LT(failure.fix()->font().pointSizeF(), failure.title()->font().pointSizeF());
}

} // namespace
