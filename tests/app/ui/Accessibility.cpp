#include "tests/app/ui/Accessibility.h"
#include "tests/app/ui/UiTest.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace twinlantern::ui::test {
namespace {

std::string roleName(QAccessible::Role role) {
    switch (role) {
    case QAccessible::Window:
        return "Window";
    case QAccessible::Dialog:
        return "Dialog";
    case QAccessible::PushButton:
        return "PushButton";
    case QAccessible::CheckBox:
        return "CheckBox";
    case QAccessible::RadioButton:
        return "RadioButton";
    case QAccessible::EditableText:
        return "EditableText";
    case QAccessible::PageTab:
        return "PageTab";
    case QAccessible::PageTabList:
        return "PageTabList";
    case QAccessible::ListItem:
        return "ListItem";
    case QAccessible::List:
        return "List";
    case QAccessible::MenuItem:
        return "MenuItem";
    case QAccessible::PopupMenu:
        return "PopupMenu";
    case QAccessible::ComboBox:
        return "ComboBox";
    case QAccessible::SpinBox:
        return "SpinBox";
    case QAccessible::Slider:
        return "Slider";
    case QAccessible::Link:
        return "Link";
    case QAccessible::StaticText:
        return "StaticText";
    case QAccessible::Grouping:
        return "Grouping";
    default:
        return "Role" + std::to_string(static_cast<int>(role));
    }
}

bool isControl(QAccessible::Role role) {
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::EditableText:
    case QAccessible::PageTab:
    case QAccessible::ListItem:
    case QAccessible::TreeItem:
    case QAccessible::MenuItem:
    case QAccessible::ComboBox:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::Link:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
        return true;
    default:
        return false;
    }
}

// Hidden below the root: a widget not visible to it, an action set invisible. The
// root itself may be a window not shown yet.
bool hiddenBelow(QAccessibleInterface* node, QObject* root) {
    QObject* object = node->object();
    if (object == root) {
        return false;
    }
    // Decoration that keeps itself out of the tree.
    if (node->role() == QAccessible::NoRole && node->state().invisible) {
        return true;
    }
    if (auto* action = qobject_cast<QAction*>(object)) {
        return !action->isVisible();
    }
    auto* widget = qobject_cast<QWidget*>(object);
    auto* rootWidget = qobject_cast<QWidget*>(root);
    if (widget != nullptr && rootWidget != nullptr) {
        return !widget->isVisibleTo(rootWidget);
    }
    return node->state().invisible;
}

void collect(QAccessibleInterface* node, QObject* root, const std::string& path,
             std::vector<AccessibleNode>& out, int depth) {
    if (node == nullptr || !node->isValid() || depth > 64) {
        return;
    }
    if (hiddenBelow(node, root)) {
        return;
    }
    const std::string here =
        path.empty() ? roleName(node->role()) : path + "/" + roleName(node->role());
    out.push_back(
        {node->role(), node->text(QAccessible::Name), node->text(QAccessible::Description), here});
    const int count = node->childCount();
    for (int i = 0; i < count; ++i) {
        collect(node->child(i), root, here, out, depth + 1);
    }
}

bool focusable(const QWidget* w, const QWidget* window) {
    return w->window() == window && w->isVisible() && w->isEnabled() &&
           (w->focusPolicy() & Qt::TabFocus) != 0 && w->focusProxy() == nullptr;
}

// The control of the focusable set that holds w (w itself, or an ancestor that
// forwards focus to it).
QWidget* owner(QWidget* w, const std::vector<QWidget*>& set) {
    for (QWidget* at = w; at != nullptr; at = at->parentWidget()) {
        if (std::find(set.begin(), set.end(), at) != set.end()) {
            return at;
        }
    }
    return w;
}

} // namespace

std::vector<AccessibleNode> accessibleNodes(QObject* root) {
    std::vector<AccessibleNode> out;
    collect(QAccessible::queryAccessibleInterface(root), root, "", out, 0);
    return out;
}

std::vector<std::string> unnamedControls(QObject* root) {
    std::vector<std::string> out;
    for (const AccessibleNode& node : accessibleNodes(root)) {
        if (isControl(node.role) && node.name.trimmed().isEmpty()) {
            out.push_back(node.path);
        }
    }
    return out;
}

bool hasNode(QObject* root, QAccessible::Role role, const QString& name) {
    const auto nodes = accessibleNodes(root);
    return std::any_of(nodes.begin(), nodes.end(), [&](const AccessibleNode& node) {
        return node.role == role && node.name == name;
    });
}

TabWalk walkTabOrder(QWidget* window) {
    TabWalk walk;
    showActive(window);
    // The focus chain's own order, from the window round to it again.
    for (QWidget* w = window->nextInFocusChain(); w != window && w != nullptr;
         w = w->nextInFocusChain()) {
        if (focusable(w, window) &&
            std::find(walk.focusable.begin(), walk.focusable.end(), w) == walk.focusable.end()) {
            walk.focusable.push_back(w);
        }
    }
    if (walk.focusable.empty()) {
        return walk;
    }
    QWidget* first = walk.focusable.front();
    first->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    for (std::size_t i = 0; i < walk.focusable.size(); ++i) {
        QWidget* at = QApplication::focusWidget();
        QTest::keyClick(at != nullptr ? at : window, Qt::Key_Tab);
        QApplication::processEvents();
        QWidget* now = QApplication::focusWidget();
        walk.visited.push_back(now != nullptr ? owner(now, walk.focusable) : nullptr);
    }
    const std::set<QWidget*> reached(walk.visited.begin(), walk.visited.end());
    walk.wrapped = walk.visited.back() == first && reached.size() == walk.focusable.size();
    return walk;
}

std::vector<QWidget*> expectTabReachesEveryControl(QWidget* window) {
    const TabWalk walk = walkTabOrder(window);
    std::set<QWidget*> reached(walk.visited.begin(), walk.visited.end());
    for (QWidget* w : walk.focusable) {
        EXPECT_TRUE(reached.count(w) == 1) << "Tab never reaches " << describe(w);
    }
    EXPECT_EQ(reached.size(), walk.visited.size()) << "Tab visits a control twice in one round";
    EXPECT_TRUE(walk.wrapped) << "Tab does not come back to "
                              << (walk.focusable.empty() ? std::string("nothing")
                                                         : describe(walk.focusable.front()));
    return walk.visited;
}

std::string describe(const QWidget* widget) {
    if (widget == nullptr) {
        return "(no widget)";
    }
    std::string out = widget->metaObject()->className();
    if (!widget->objectName().isEmpty()) {
        out += " #" + widget->objectName().toStdString();
    }
    QString name = widget->accessibleName();
    if (name.isEmpty()) {
        if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            name = button->text();
        }
    }
    if (!name.isEmpty()) {
        out += " \"" + name.toStdString() + "\"";
    }
    return out;
}

} // namespace twinlantern::ui::test
