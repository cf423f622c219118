#pragma once

#include "core/base/ToolKind.h"

#include <QWidget>

#include <map>
#include <set>

class QCheckBox;
class QLabel;

namespace twinlantern::ui {

// The "Use it for" checkboxes: the two apps on the first row, the two terminal tools
// on the second, whatever is installed. A tool not installed reads " (not installed)",
// dimmed, and can still be ticked. The caller owns the set: it sets it and hears of
// each change.
class UseForPicker final : public QWidget {
    Q_OBJECT
public:
    explicit UseForPicker(QWidget* parent = nullptr);

    void setTools(const std::set<ToolKind>& tools);
    std::set<ToolKind> tools() const { return tools_; }
    void setInstalled(const std::set<ToolKind>& installed);

    QCheckBox* checkBox(ToolKind kind) const;

signals:
    void toolsChanged();

private:
    struct Row {
        QCheckBox* box = nullptr;
        QLabel* note = nullptr;
    };
    void toggled(ToolKind kind, bool on);

    std::set<ToolKind> tools_;
    std::map<ToolKind, Row> rows_;
};

} // namespace twinlantern::ui
