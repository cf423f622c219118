#include "TwinLanternApp/ui/profiles/UseForPicker.h"
#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/Labels.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QStyle>
#include <QVBoxLayout>

namespace twinlantern::ui {
namespace {

const QString notInstalled = QStringLiteral(" (not installed)");

// A click on the dimmed note counts as a click on its checkbox.
class NoteClicks final : public QObject {
public:
    NoteClicks(QCheckBox* box, QObject* parent) : QObject(parent), box_(box) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && box_->isEnabled()) {
            box_->click();
            return true;
        }
        return false;
    }

private:
    QCheckBox* box_;
};

} // namespace

UseForPicker::UseForPicker(QWidget* parent) : QWidget(parent) {
    // Two rows (the apps, then the terminal tools) in two columns. The note sits under its
    // box's text, not beside it: beside, four notes don't fit a 520-wide sheet.
    auto* grid = handedOver<QGridLayout>(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(6);
    const int indent = style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                       style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
    int column[2] = {0, 0};
    for (const ToolKind kind : allToolKinds) {
        const int row = isApp(kind) ? 0 : 1;
        auto* cell = handedOver<QVBoxLayout>();
        cell->setSpacing(0);
        Row parts;
        parts.box = owned<QCheckBox>(this);
        setButtonText(parts.box, qs(toolPhrase(kind)));
        parts.note = plainLabel(notInstalled, this);
        parts.note->setFont(appearance::font(appearance::TextStyle::caption));
        parts.note->setIndent(indent);
        appearance::setTextColor(parts.note, appearance::secondaryLabel(palette()));
        parts.note->installEventFilter(owned<NoteClicks>(parts.note, parts.box));
        connect(parts.box, &QCheckBox::toggled, this, [this, kind](bool on) { toggled(kind, on); });
        cell->addWidget(parts.box);
        cell->addWidget(parts.note);
        cell->addStretch(1);
        grid->addLayout(cell, row, column[row]++, Qt::AlignLeft | Qt::AlignTop);
        rows_[kind] = parts;
    }
    grid->setColumnStretch(2, 1);
    setInstalled({});
}

void UseForPicker::setTools(const std::set<ToolKind>& tools) {
    tools_ = tools;
    for (auto& [kind, row] : rows_) {
        const QSignalBlocker quiet(row.box);
        row.box->setChecked(tools_.count(kind) != 0);
    }
}

void UseForPicker::setInstalled(const std::set<ToolKind>& installed) {
    for (auto& [kind, row] : rows_) {
        const bool missing = installed.count(kind) == 0;
        row.note->setVisible(missing);
        QString name = qs(toolPhrase(kind));
        if (missing) {
            name += notInstalled;
        }
        row.box->setAccessibleName(name);
    }
}

QCheckBox* UseForPicker::checkBox(ToolKind kind) const {
    const auto found = rows_.find(kind);
    return found == rows_.end() ? nullptr : found->second.box;
}

void UseForPicker::toggled(ToolKind kind, bool on) {
    if (on) {
        tools_.insert(kind);
    } else {
        tools_.erase(kind);
    }
    emit toolsChanged();
}

} // namespace twinlantern::ui
