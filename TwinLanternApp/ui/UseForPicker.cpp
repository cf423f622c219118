#include "TwinLanternApp/ui/UseForPicker.h"
#include "TwinLanternApp/ui/Appearance.h"
#include "TwinLanternApp/ui/Labels.h"
#include "TwinLanternApp/ui/Owned.h"
#include "TwinLanternApp/ui/PlainText.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
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
    auto* column = handedOver<QVBoxLayout>(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    for (const bool apps : {true, false}) {
        auto* row = handedOver<QHBoxLayout>();
        row->setSpacing(14);
        for (const ToolKind kind : allToolKinds) {
            if (isApp(kind) != apps) {
                continue;
            }
            auto* pair = handedOver<QHBoxLayout>();
            pair->setSpacing(0);
            Row parts;
            parts.box = owned<QCheckBox>(this);
            setButtonText(parts.box, qs(toolPhrase(kind)));
            parts.note = plainLabel(notInstalled, this);
            parts.note->setFont(appearance::font(appearance::TextStyle::body));
            appearance::setTextColor(parts.note, appearance::secondaryLabel(palette()));
            parts.note->installEventFilter(owned<NoteClicks>(parts.note, parts.box));
            connect(parts.box, &QCheckBox::toggled, this,
                    [this, kind](bool on) { toggled(kind, on); });
            pair->addWidget(parts.box);
            pair->addWidget(parts.note);
            row->addLayout(pair);
            rows_[kind] = parts;
        }
        row->addStretch(1);
        column->addLayout(row);
    }
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
