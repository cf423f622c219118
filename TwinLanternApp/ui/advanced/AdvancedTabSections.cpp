#include "TwinLanternApp/ui/advanced/AdvancedTabSections.h"

#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/Footnote.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/frame/WrappingLabel.h"
#include "core/base/TwinLanternError.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace twinlantern::ui {

UpdatesSection::UpdatesSection(app::UpdaterService& updater, QWidget* parent)
    : QGroupBox(parent), updater_(updater) {
    setTitle(QStringLiteral("Updates"));
    auto* rows = owned<QFormLayout>(this);
    version_ = plainLabel(qs(app::UpdaterService::currentVersion()), this);
    version_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QLabel* versionLabel = plainLabel(QStringLiteral("Version"), this);
    versionLabel->setBuddy(version_);
    rows->addRow(versionLabel, version_);

    app::UpdaterController* controller = updater_.controller.get();
    if (controller == nullptr) {
        updatesOff_ = owned<Footnote>(this, "Updates are off in this build. Download the latest "
                                            "version from twinlantern.app.");
        updatesOff_->setWordWrap(true);
        rows->addRow(updatesOff_);
        return;
    }
    automatic_ = owned<QCheckBox>(this);
    setButtonText(automatic_, QStringLiteral("Check for updates automatically"));
    automatic_->setChecked(controller->automaticallyChecksForUpdates());
    // Connected after the first value: only a change is written.
    connect(automatic_, &QCheckBox::toggled, this, [this](bool on) {
        if (auto* now = updater_.controller.get()) {
            now->setAutomaticallyChecksForUpdates(on);
        }
    });
    rows->addRow(automatic_);
    checkNow_ = owned<QPushButton>(this);
    setButtonText(checkNow_, QStringLiteral("Check for Updates…"));
    connect(checkNow_, &QPushButton::clicked, this, [this] {
        if (auto* now = updater_.controller.get()) {
            now->checkForUpdates();
        }
    });
    rows->addRow(checkNow_);
}

OpenAtLoginToggle::OpenAtLoginToggle(platform::LoginItem item, QWidget* parent)
    : QWidget(parent), item_(std::move(item)) {
    auto* rows = owned<QVBoxLayout>(this);
    rows->setContentsMargins(0, 0, 0, 0);
    switch_ = owned<QCheckBox>(this);
    setButtonText(switch_, QStringLiteral("Open at login"));
    switch_->setChecked(item_.enabled());
    connect(switch_, &QCheckBox::clicked, this, [this](bool on) { change(on); });
    rows->addWidget(switch_);
    error_ = owned<WrappingLabel>(this); // the error names a path of any length
    error_->setFont(appearance::font(appearance::TextStyle::caption));
    colourError();
    error_->setVisible(false);
    rows->addWidget(error_);
    // A written entry is in force at the next login: there is no approval to wait for.
}

void OpenAtLoginToggle::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The desktop's own settings may have changed the entry meanwhile.
    switch_->setChecked(item_.enabled());
}

void OpenAtLoginToggle::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        colourError(); // light or dark
    }
}

void OpenAtLoginToggle::colourError() {
    appearance::setTextColor(error_, appearance::orange(palette()));
}

void OpenAtLoginToggle::change(bool on) {
    try {
        if (on) {
            item_.registerItem();
        } else {
            item_.unregister();
        }
        error_->clear();
        error_->setVisible(false);
    } catch (const TwinLanternError& error) {
        setPlainText(error_, qs(error.what()));
        error_->setVisible(true);
    }
    // The entry's state, not the request.
    switch_->setChecked(item_.enabled());
}

} // namespace twinlantern::ui
