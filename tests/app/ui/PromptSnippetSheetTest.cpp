#include "TwinLanternApp/ui/terminal/PromptSnippetSheet.h"

#include "TwinLanternApp/ui/frame/Owned.h"
#include "core/shell/ShellIntegration.h"
#include "tests/app/ui/Accessibility.h"
#include "tests/app/ui/UiTest.h"
#include "tests/support/app/AppFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::ui;

namespace {

class PromptSnippetSheetTest : public ::testing::Test {
protected:
    app::test::AppFixture fixture;
    std::unique_ptr<app::AppModel> model = fixture.model(false);
    QWidget window;

    void SetUp() override {
        window.resize(600, 400);
        test::showActive(&window);
        QApplication::clipboard()->setText(QStringLiteral("before"));
    }

    PromptSnippetSheet* open() {
        auto* sheet = owned<PromptSnippetSheet>(&window, *model);
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        sheet->open();
        (void)QTest::qWaitForWindowExposed(sheet, 2000);
        sheet->activateWindow();
        QApplication::setActiveWindow(sheet);
        QApplication::processEvents();
        return sheet;
    }
    static QAbstractButton* segment(PromptSnippetSheet* sheet, const QString& text) {
        for (QAbstractButton* button : sheet->shellPicker()->buttons()) {
            if (button->text() == text) {
                return button;
            }
        }
        return nullptr;
    }
    static QString snippetFor(const char* shell) {
        return QString::fromStdString(ShellIntegration::promptSnippet(shell).value());
    }
};

TEST_F(PromptSnippetSheetTest, OpensOnZshWithThreeExclusiveShells) {
    PromptSnippetSheet* sheet = open();
    EXPECT_EQ(sheet->shell(), QStringLiteral("zsh"));
    EXPECT_EQ(sheet->width(), 520);
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->shellPicker()->objectName(), QStringLiteral("Shell"));
    EXPECT_TRUE(sheet->shellPicker()->exclusive());
    QStringList texts;
    for (QAbstractButton* button : sheet->shellPicker()->buttons()) {
        texts.append(button->text());
    }
    EXPECT_EQ(texts, (QStringList{"zsh", "bash", "Starship"}));
    EXPECT_TRUE(segment(sheet, "zsh")->isChecked());
    EXPECT_EQ(sheet->snippet()->text(), snippetFor("zsh"));
    EXPECT_EQ(sheet->snippet()->textFormat(), Qt::PlainText);
}

TEST_F(PromptSnippetSheetTest, StarshipShowsAtOnceAndCopyTakesExactlyTheShownText) {
    PromptSnippetSheet* sheet = open();
    QPointer<PromptSnippetSheet> alive(sheet);
    segment(sheet, "Starship")->click();
    EXPECT_EQ(sheet->shell(), QStringLiteral("starship"));
    EXPECT_FALSE(segment(sheet, "zsh")->isChecked());
    const QString shown = sheet->snippet()->text();
    EXPECT_EQ(shown, snippetFor("starship"));
    sheet->copyButton()->click();
    EXPECT_EQ(QApplication::clipboard()->text(), shown);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(model->toast(), "Copied. Paste it into your shell settings.");
}

TEST_F(PromptSnippetSheetTest, ReturnCopiesAndEscapeCloses) {
    PromptSnippetSheet* sheet = open();
    segment(sheet, "bash")->click();
    sheet->shellPicker()->buttons().at(1)->setFocus();
    QTest::keyClick(sheet, Qt::Key_Return);
    EXPECT_EQ(QApplication::clipboard()->text(), snippetFor("bash"));
    EXPECT_FALSE(sheet->isVisible());

    QApplication::clipboard()->setText(QStringLiteral("before"));
    model->showToast("other");
    PromptSnippetSheet* again = open();
    EXPECT_EQ(again->shell(), QStringLiteral("zsh")); // fresh each time
    QTest::keyClick(again, Qt::Key_Escape);
    EXPECT_FALSE(again->isVisible());
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("before"));
    EXPECT_EQ(model->toast(), "other");
}

TEST_F(PromptSnippetSheetTest, EveryLineOfEachSnippetCanBeBroughtWhollyIntoView) {
    for (const auto& [segmentText, shell] : std::vector<std::pair<QString, const char*>>{
             {"zsh", "zsh"}, {"bash", "bash"}, {"Starship", "starship"}}) {
        SCOPED_TRACE(shell);
        PromptSnippetSheet* sheet = open();
        segment(sheet, segmentText)->click();
        QApplication::processEvents();
        QLabel* label = sheet->snippet();
        QScrollArea* scroll = sheet->snippetScroll();
        const QFontMetrics metrics(label->font());
        int longest = 0;
        for (const QString& line : snippetFor(shell).split(QLatin1Char('\n'))) {
            longest = std::max(longest, metrics.horizontalAdvance(line));
        }
        // The label holds each line unbroken, and scrolling reaches its far edge.
        EXPECT_GE(label->contentsRect().width(), longest);
        EXPECT_GE(label->height(), metrics.lineSpacing() * int(snippetFor(shell).count('\n') + 1));
        const QWidget* viewport = scroll->viewport();
        EXPECT_GE(viewport->width() + scroll->horizontalScrollBar()->maximum(), label->width());
        EXPECT_GE(viewport->height() + scroll->verticalScrollBar()->maximum(), label->height());
        // The box stays inside the sheet.
        EXPECT_LE(scroll->mapTo(sheet, QPoint(scroll->width(), 0)).x(), sheet->width());
        if (longest > viewport->width()) {
            scroll->horizontalScrollBar()->setValue(scroll->horizontalScrollBar()->maximum());
            EXPECT_LE(label->mapTo(viewport, QPoint(label->width(), 0)).x(), viewport->width());
        }
        sheet->copyButton()->click();
        EXPECT_EQ(QApplication::clipboard()->text(), snippetFor(shell));
    }
}

TEST_F(PromptSnippetSheetTest, EveryControlIsNamedAndReachedByTab) {
    PromptSnippetSheet* sheet = open();
    EXPECT_EQ(test::unnamedControls(sheet), std::vector<std::string>{});
    test::expectTabReachesEveryControl(sheet);
}

} // namespace
