#include "TwinLanternApp/ui/profiles/NewProfileSheet.h"

#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/profiles/UseForPicker.h"

#include "TwinLanternApp/app/ModelBridge.h"
#include "core/base/Text.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace twinlantern::ui {

NewProfileSheet::NewProfileSheet(app::ModelBridge& bridge, OnCreate onCreate, QWidget* parent)
    : QDialog(parent), bridge_(bridge), onCreate_(std::move(onCreate)) {
    setWindowTitle(QStringLiteral("New Profile"));
    setAccessibleName(QStringLiteral("New Profile"));
    setFixedWidth(sheetWidth);

    auto* column = handedOver<QVBoxLayout>(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(16);

    QLabel* title = plainLabel(QStringLiteral("New Profile"), this);
    title->setFont(appearance::font(appearance::TextStyle::headline));
    column->addWidget(title);

    auto* form = handedOver<QFormLayout>();
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    name_ = owned<QLineEdit>(this);
    name_->setPlaceholderText(QStringLiteral("e.g. Codex Work"));
    name_->setAccessibleName(QStringLiteral("Name"));
    form->addRow(plainLabel(QStringLiteral("Name"), this), name_);
    tools_ = owned<UseForPicker>(this);
    tools_->setAccessibleName(QStringLiteral("Use it for"));
    form->addRow(plainLabel(QStringLiteral("Use it for"), this), tools_);
    existing_ = owned<QCheckBox>(this);
    setButtonText(existing_, QStringLiteral("Use the accounts I'm already signed in to"));
    form->addRow(QString(), existing_);
    column->addLayout(form);

    explanation_ = plainLabel(QString(), this);
    explanation_->setWordWrap(true);
    explanation_->setFont(appearance::font(appearance::TextStyle::callout));
    appearance::setTextColor(explanation_, appearance::secondaryLabel(palette()));
    column->addWidget(explanation_);

    auto* buttons = handedOver<QHBoxLayout>();
    buttons->addStretch(1);
    cancel_ = owned<QPushButton>(this);
    setButtonText(cancel_, QStringLiteral("Cancel"));
    // Return belongs to Create alone: a disabled Create makes Return do nothing.
    cancel_->setAutoDefault(false);
    create_ = owned<QPushButton>(this);
    setButtonText(create_, QStringLiteral("Create"));
    create_->setDefault(true);
    buttons->addWidget(cancel_);
    buttons->addWidget(create_);
    column->addLayout(buttons);

    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(create_, &QPushButton::clicked, this, &NewProfileSheet::createProfile);
    connect(name_, &QLineEdit::textChanged, this, &NewProfileSheet::follow);
    connect(tools_, &UseForPicker::toolsChanged, this, &NewProfileSheet::follow);
    connect(existing_, &QCheckBox::toggled, this, &NewProfileSheet::follow);
    connect(&bridge_, &app::ModelBridge::changed, this, [this](app::ModelField field) {
        if (field == app::ModelField::document || field == app::ModelField::context ||
            field == app::ModelField::desktopInstall) {
            follow();
        }
    });
    follow();
}

bool NewProfileSheet::canUseExisting() const {
    const auto& profiles = bridge_.model().document().profiles;
    return std::none_of(profiles.begin(), profiles.end(),
                        [](const Profile& p) { return p.storage == Profile::Storage::system; });
}

Profile::Storage NewProfileSheet::storage() const {
    // A system profile that appeared while the sheet was open hides the toggle; a tick
    // left on it must not ask for a second one.
    return existing_->isChecked() && canUseExisting() ? Profile::Storage::system
                                                      : Profile::Storage::managed;
}

void NewProfileSheet::showEvent(QShowEvent* event) {
    if (!filled_) {
        filled_ = true;
        if (tools_->tools().empty()) {
            const std::set<ToolKind> apps = bridge_.model().installedApps();
            tools_->setTools(apps.empty() ? std::set<ToolKind>{ToolKind::claudeDesktop} : apps);
        }
        follow();
        name_->setFocus();
    }
    QDialog::showEvent(event);
}

void NewProfileSheet::follow() {
    const app::AppModel& model = bridge_.model();
    tools_->setInstalled(model.installedTools());
    existing_->setVisible(canUseExisting());
    setPlainText(
        explanation_,
        storage() == Profile::Storage::system
            ? QStringLiteral("Uses the logins you already have. Nothing to sign in to.")
            : QStringLiteral("Gets its own separate logins. You'll sign in once for each."));
    const bool named = !text::trimSpacesTabs(utf8(name_->text())).empty();
    create_->setEnabled(named && !tools_->tools().empty());
}

void NewProfileSheet::createProfile() {
    follow();
    if (!create_->isEnabled()) {
        return;
    }
    const std::set<ToolKind> chosen = tools_->tools();
    const std::optional<Profile> made = bridge_.model().createProfile(
        utf8(name_->text()), std::nullopt, std::vector<ToolKind>(chosen.begin(), chosen.end()),
        storage());
    if (!made) {
        return; // the alert says why; the input stays
    }
    if (onCreate_) {
        onCreate_(*made);
    }
    accept();
}

} // namespace twinlantern::ui
