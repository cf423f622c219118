#include "TwinLanternApp/ui/frame/SettingsWindow.h"
#include "TwinLanternApp/ui/advanced/AdvancedTab.h"
#include "TwinLanternApp/ui/frame/AlertPresenter.h"
#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/onboarding/OnboardingWindow.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/ProfileLook.h"
#include "TwinLanternApp/ui/profiles/ProfilesTab.h"
#include "TwinLanternApp/ui/terminal/TerminalTab.h"
#include "TwinLanternApp/ui/frame/Toast.h"

#include "TwinLanternApp/app/ModelBridge.h"

#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QShowEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace twinlantern::ui {
namespace {

symbols::Symbol symbolOf(SettingsTab tab) {
    switch (tab) {
    case SettingsTab::profiles:
        return symbols::Symbol::people;
    case SettingsTab::terminal:
        return symbols::Symbol::terminal;
    case SettingsTab::advanced:
        return symbols::Symbol::gear;
    }
    return symbols::Symbol::people;
}

} // namespace

void nameApplication() {
    // The display name falls back to this one.
    QApplication::setApplicationName(QStringLiteral("TwinLantern"));
}

SettingsWindow::SettingsWindow(app::ModelBridge& bridge, AdvancedTabServices advanced,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), bridge_(bridge) {
    setWindowTitle(QStringLiteral("TwinLantern Settings"));
    layout_ = handedOver<QVBoxLayout>(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSizeConstraint(QLayout::SetFixedSize);
    tabs_ = owned<QTabWidget>(this);
    tabs_->setFixedSize(contentWidth, contentHeight);
    tabs_->setDocumentMode(true);
    layout_->addWidget(tabs_);

    // The tabs' views, made with the bridge.
    addTab(owned<ProfilesTab>(this, bridge_), SettingsTab::profiles, QStringLiteral("Profiles"));
    addTab(owned<TerminalTab>(tabs_, bridge_.model()), SettingsTab::terminal,
           QStringLiteral("Terminal"));
    addTab(owned<AdvancedTab>(tabs_, bridge_.model(), std::move(advanced)), SettingsTab::advanced,
           QStringLiteral("Advanced"));
    refreshIcons();

    select(storedSettingsTab());
    connect(tabs_, &QTabWidget::currentChanged, this,
            [this](int) { storeSettingsTab(currentTab()); });
    connect(&SettingsTabNotice::instance(), &SettingsTabNotice::stored, this,
            [this](SettingsTab tab) { select(tab); });

    toast_ = owned<Toast>(this);
    toast_->present(bridge_.model().toast());
    connect(&bridge_, &app::ModelBridge::changed, this, [this](app::ModelField field) {
        if (field == app::ModelField::toast) {
            toast_->present(bridge_.model().toast());
        }
    });
    // The onboarding window shows the alert while it is open; a tray menu's failure
    // shows even while this window is hidden.
    alerts_ = owned<AlertPresenter>(
        this, bridge_,
        AlertPresenter::Rules{[] { return OnboardingWindow::window() != nullptr; }, true});
}

void SettingsWindow::addTab(QWidget* view, SettingsTab tab, const QString& title) {
    view->setProperty("settingsTab", QString::fromLatin1(rawValue(tab)));
    tabs_->addTab(view, title);
}

SettingsTab SettingsWindow::currentTab() const {
    const int index = tabs_->currentIndex();
    return index >= 0 && index < int(allSettingsTabs.size()) ? allSettingsTabs[std::size_t(index)]
                                                             : SettingsTab::profiles;
}

void SettingsWindow::select(SettingsTab tab) {
    const int index = int(std::find(allSettingsTabs.begin(), allSettingsTabs.end(), tab) -
                          allSettingsTabs.begin());
    if (tabs_->currentIndex() != index) {
        const QSignalBlocker quiet(tabs_);
        tabs_->setCurrentIndex(index);
    }
}

QMenuBar* SettingsWindow::ensureMenuBar() {
    if (menuBar_ == nullptr) {
        menuBar_ = owned<QMenuBar>(this);
        layout_->setMenuBar(menuBar_);
    }
    return menuBar_;
}

void SettingsWindow::setAppMenu(QMenu* menu) {
    ensureMenuBar()->clear();
    menu->setTitle(QStringLiteral("TwinLantern"));
    menuBar_->addMenu(menu);
}

void SettingsWindow::addMenu(QMenu* menu) {
    ensureMenuBar()->addMenu(menu);
}

void SettingsWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        bridge_.model().refreshStatuses();
    }
}

void SettingsWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        refreshIcons();
    }
}

void SettingsWindow::refreshIcons() {
    const QColor color = palette().color(QPalette::WindowText);
    for (std::size_t i = 0; i < allSettingsTabs.size() && int(i) < tabs_->count(); ++i) {
        tabs_->setTabIcon(int(i), symbolIcon(symbolOf(allSettingsTabs[i]), color));
    }
}

} // namespace twinlantern::ui
