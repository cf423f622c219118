#include "tests/app/ui/Accessibility.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

using namespace twinlantern::ui::test;

namespace {

// The walker and the Tab check themselves: they must catch what they look for.
TEST(AccessibilityKit, AnUnnamedButtonIsFoundAndANamedOneIsNot) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* named = new QPushButton(QStringLiteral("Open"));
    auto* bare = new QToolButton;
    auto* field = new QLineEdit;
    layout->addWidget(named);
    layout->addWidget(bare);
    layout->addWidget(field);
    EXPECT_EQ(unnamedControls(&window).size(), 2u);
    bare->setAccessibleName(QStringLiteral("Add"));
    field->setAccessibleName(QStringLiteral("Name"));
    EXPECT_TRUE(unnamedControls(&window).empty());
    EXPECT_TRUE(hasNode(&window, QAccessible::PushButton, QStringLiteral("Add")));
}

TEST(AccessibilityKit, TabWalkWrapsAndSeesATrap) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* a = new QLineEdit;
    auto* b = new QPushButton(QStringLiteral("B"));
    auto* c = new QLineEdit;
    layout->addWidget(a);
    layout->addWidget(b);
    layout->addWidget(c);
    TabWalk walk = walkTabOrder(&window);
    EXPECT_EQ(walk.focusable, (std::vector<QWidget*>{a, b, c}));
    EXPECT_EQ(walk.visited, (std::vector<QWidget*>{b, c, a}));
    EXPECT_TRUE(walk.wrapped);

    // A text edit that takes Tab as text keeps the focus: the walk shows it.
    QWidget trap;
    auto* trapLayout = new QVBoxLayout(&trap);
    auto* edit = new QTextEdit;
    auto* after = new QPushButton(QStringLiteral("After"));
    trapLayout->addWidget(edit);
    trapLayout->addWidget(after);
    walk = walkTabOrder(&trap);
    EXPECT_FALSE(walk.wrapped);
    edit->setTabChangesFocus(true);
    walk = walkTabOrder(&trap);
    EXPECT_TRUE(walk.wrapped);
}

} // namespace
