#pragma once

#include <QAccessible>
#include <QString>

#include <string>
#include <vector>

class QObject;
class QWidget;

namespace twinlantern::ui::test {

struct AccessibleNode {
    QAccessible::Role role;
    QString name;
    QString description;
    std::string path; // roles from the root, for messages: "Window/PageTabList/PageTab"
};

// Every visible node under root (a window, a widget or a menu), depth first, through
// QAccessible::queryAccessibleInterface as a screen reader meets them.
std::vector<AccessibleNode> accessibleNodes(QObject* root);

// The controls a person operates (buttons, checkboxes, radio buttons, fields, tabs,
// list and menu items, combo and spin boxes, sliders, links) that have no name, as
// their paths; empty when every one is named.
std::vector<std::string> unnamedControls(QObject* root);

// Whether some node has this role and exactly this name.
bool hasNode(QObject* root, QAccessible::Role role, const QString& name);

struct TabWalk {
    std::vector<QWidget*> focusable; // visible, enabled controls that take Tab focus
    std::vector<QWidget*> visited;   // where each Tab press put the focus, from the first
    bool wrapped = false; // each control reached once and the last press back at the first
};

// Shows window active, focuses its first focusable control and presses Tab once per
// control: a full round visits each once and comes back to the first.
TabWalk walkTabOrder(QWidget* window);

// GoogleTest expectations over walkTabOrder: every control reached, once, and the
// round wraps. Returns the visited order for tests that check it.
std::vector<QWidget*> expectTabReachesEveryControl(QWidget* window);

// A short description for messages: class, object name, accessible name or text.
std::string describe(const QWidget* widget);

} // namespace twinlantern::ui::test
