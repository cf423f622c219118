#include "TwinLanternApp/ui/frame/HelpView.h"
#include "TwinLanternApp/ui/frame/HelpWindow.h"

#include "tests/app/ui/Accessibility.h"
#include "tests/app/ui/UiTest.h"

#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include <gtest/gtest.h>

#include <map>

using namespace twinlantern;
using namespace twinlantern::ui;

namespace {

// Whether each fragment of the label's text is monospaced, by its text.
std::map<QString, bool> monospacedFragments(const QLabel* label) {
    QTextDocument document;
    document.setHtml(label->text());
    std::map<QString, bool> out;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            out[it.fragment().text()] =
                format.fontFixedPitch() ||
                format.fontFamilies().toStringList().contains(QStringLiteral("monospace"));
        }
    }
    return out;
}

QString plain(const QLabel* label) {
    QTextDocument document;
    document.setHtml(label->text());
    return document.toPlainText();
}

TEST(HelpView, FourSectionsInOrderWithTheTerminalsCodeSpansMonospaced) {
    HelpView view;
    EXPECT_EQ(view.size(), QSize(520, 480));
    QStringList titles;
    for (const QLabel* title : view.titleLabels()) {
        EXPECT_EQ(title->textFormat(), Qt::PlainText);
        titles.append(title->text());
    }
    EXPECT_EQ(titles,
              (QStringList{"Claude Desktop", "Terminal", "Your logins", "Not for dodging limits"}));
    ASSERT_EQ(view.bodyLabels().size(), 4);
    EXPECT_EQ(plain(view.bodyLabels()[1]),
              QStringLiteral("With Terminal → “Use profiles in the terminal” on, claude and codex "
                             "use the profile for the folder you're in (add folders in the "
                             "Profiles tab). Run twinlantern which in any folder to see which "
                             "applies."));
    const auto spans = monospacedFragments(view.bodyLabels()[1]);
    for (const char* code : {"claude", "codex", "twinlantern which"}) {
        ASSERT_TRUE(spans.contains(QString::fromUtf8(code))) << code;
        EXPECT_TRUE(spans.at(QString::fromUtf8(code))) << code;
    }
    EXPECT_FALSE(spans.at(QStringLiteral(" and ")));
    EXPECT_EQ(plain(view.bodyLabels()[2]),
              QStringLiteral("Each tool keeps its own login in your system keyring. TwinLantern "
                             "never sees your passwords, and nothing leaves this computer."));
    // Screen readers get the words.
    EXPECT_EQ(view.bodyLabels()[3]->accessibleName(),
              QStringLiteral("Profiles keep work and personal apart. TwinLantern will never "
                             "switch accounts to get around usage limits."));
}

TEST(HelpView, ScrollsToTheLastSectionWhenShorterThanItsContent) {
    HelpView view;
    view.setFixedHeight(160);
    test::showActive(&view);
    QScrollBar* bar = view.verticalScrollBar();
    EXPECT_TRUE(bar->isVisible());
    ASSERT_GT(bar->maximum(), 0);
    QLabel* last = view.bodyLabels().back();
    EXPECT_TRUE(last->visibleRegion().isEmpty());
    bar->setValue(bar->maximum());
    QApplication::processEvents();
    EXPECT_FALSE(last->visibleRegion().isEmpty());
    // Wrapped, not cut: the whole body is inside the page.
    EXPECT_LE(last->mapTo(view.widget(), QPoint(0, last->height())).y(), view.widget()->height());
    EXPECT_LE(last->width(), 520);
}

TEST(HelpWindow, OneWindowTitledHelpShownAgainAndNamedThroughout) {
    HelpWindow help;
    EXPECT_EQ(help.window(), nullptr);
    help.show();
    QWidget* window = help.window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window, tltest::patienceMs));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("TwinLantern Help"));
    EXPECT_EQ(window->size(), help.view()->size()); // the size of its content
    window->close();
    EXPECT_FALSE(window->isVisible());
    help.show();
    EXPECT_EQ(help.window(), window);
    EXPECT_TRUE(window->isVisible());
    int titled = 0;
    for (const QWidget* top : QApplication::topLevelWidgets()) {
        titled += top->windowTitle() == QStringLiteral("TwinLantern Help") ? 1 : 0;
    }
    EXPECT_EQ(titled, 1);
    EXPECT_EQ(test::unnamedControls(window), std::vector<std::string>{});
    test::expectTabReachesEveryControl(window);
}

} // namespace
