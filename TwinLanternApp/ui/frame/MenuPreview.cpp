#include "TwinLanternApp/ui/frame/MenuPreview.h"

#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/frame/ProfileLook.h"

#include "TwinLanternApp/model/AppModel.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace twinlantern::ui {
namespace {

void addDivider(QVBoxLayout* column, QWidget* parent) {
    auto* line = owned<QFrame>(parent);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette p = line->palette();
    p.setColor(QPalette::Window, appearance::separator(parent->palette()));
    line->setPalette(p);
    column->addWidget(line);
}

} // namespace

MenuPreview::MenuPreview(const app::AppModel& model, QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    auto* column = owned<QVBoxLayout>(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(7);

    for (const Profile& profile : model.document().profiles) {
        auto* row = handedOver<QHBoxLayout>();
        row->setSpacing(6);
        row->addWidget(owned<ProfileDot>(this, profile.color, 10), 0, Qt::AlignVCenter);
        row->addWidget(nameLabel(profile.name, this), 1, Qt::AlignVCenter);
        column->addLayout(row);
    }
    addDivider(column, this);

    auto* terminal = handedOver<QHBoxLayout>();
    terminal->addWidget(plainLabel(QStringLiteral("Terminal default"), this));
    terminal->addStretch(1);
    const auto chosen = model.terminalDefault();
    QLabel* name =
        chosen ? nameLabel(chosen->name, this) : plainLabel(QStringLiteral("None"), this);
    appearance::setTextColor(name, appearance::secondaryLabel(palette()));
    terminal->addWidget(name);
    QLabel* chevron = owned<QLabel>(this);
    chevron->setPixmap(
        symbolIcon(symbols::Symbol::chevron, appearance::secondaryLabel(palette()), 12)
            .pixmap(12, 12));
    terminal->addWidget(chevron);
    column->addLayout(terminal);
    addDivider(column, this);

    column->addWidget(plainLabel(QStringLiteral("Settings…"), this));
    column->addWidget(plainLabel(QStringLiteral("Quit TwinLantern"), this));
}

} // namespace twinlantern::ui
