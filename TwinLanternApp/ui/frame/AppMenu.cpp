#include "TwinLanternApp/ui/frame/AppMenu.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/frame/ProfileLook.h"

#include "TwinLanternApp/app/ModelBridge.h"
#include "TwinLanternApp/app/UpdaterService.h"

#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QTimer>

namespace twinlantern::ui {

AppMenu::AppMenu(app::ModelBridge& bridge, Handlers handlers, QObject* parent)
    : QObject(parent), bridge_(bridge), handlers_(std::move(handlers)),
      menu_(std::make_unique<QMenu>()) {
    menu_->setTitle(QStringLiteral("TwinLantern"));
    connect(&bridge_, &app::ModelBridge::changed, this, [this](app::ModelField field) {
        using F = app::ModelField;
        if (field == F::document || field == F::loadError || field == F::statuses ||
            field == F::runningApps) {
            scheduleRebuild();
        }
    });
    rebuild();
}

AppMenu::~AppMenu() = default;

void AppMenu::scheduleRebuild() {
    // An action's own handler may change the model: its menu item must outlive it.
    if (!rebuildPending_) {
        rebuildPending_ = true;
        QTimer::singleShot(0, this, [this] {
            if (rebuildPending_) {
                rebuild();
            }
        });
    }
}

void AppMenu::rebuild() {
    rebuildPending_ = false;
    const bool updates = app::UpdaterService::shared().controller != nullptr;
    std::vector<MenuEntry> entries = menuEntries(bridge_.model(), updates);
    if (entries == entries_ && !menu_->actions().isEmpty()) {
        return;
    }
    entries_ = std::move(entries);
    menu_->clear();
    for (const MenuEntry& entry : entries_) {
        switch (entry.kind) {
        case MenuEntry::Kind::separator:
            menu_->addSeparator();
            break;
        case MenuEntry::Kind::picker: {
            QMenu* submenu = owned<QMenu>(menu_.get(), mnemonicSafe(entry.title));
            auto* group = owned<QActionGroup>(submenu);
            group->setExclusive(true);
            for (const MenuEntry::Choice& choice : entry.choices) {
                QAction* action = submenu->addAction(mnemonicSafe(choice.title));
                action->setCheckable(true);
                action->setChecked(choice.selected);
                group->addAction(action);
                const std::optional<ProfileID> id = choice.profile;
                connect(action, &QAction::triggered, this,
                        [this, id] { bridge_.model().setTerminalDefault(id); });
            }
            menu_->addMenu(submenu);
            break;
        }
        case MenuEntry::Kind::item: {
            QString text = mnemonicSafe(entry.title);
            if (!entry.second.empty()) {
                text += QChar(u'\t');
                text += mnemonicSafe(entry.second);
            }
            QAction* action = menu_->addAction(text);
            if (entry.dot) {
                action->setIcon(DotImage::menuIcon(entry.color, 10));
            }
            if (!entry.shortcut.empty()) {
                action->setShortcut(QKeySequence(qs(entry.shortcut)));
                action->setShortcutContext(Qt::ApplicationShortcut);
            }
            const MenuEntry copy = entry;
            connect(action, &QAction::triggered, this, [this, copy] { choose(copy); });
            break;
        }
        }
    }
}

void AppMenu::choose(const MenuEntry& entry) {
    using Action = MenuEntry::Action;
    switch (entry.action) {
    case Action::none:
        break;
    case Action::signInNeeded:
    case Action::terminalOnly:
        showSettings(SettingsTab::profiles);
        break;
    case Action::setUp:
        if (handlers_.showOnboarding) {
            handlers_.showOnboarding();
        }
        break;
    case Action::openApp:
        for (const Profile& profile : bridge_.model().document().profiles) {
            if (profile.id == entry.profile) {
                bridge_.model().openApp(profile, entry.tool);
                break;
            }
        }
        break;
    case Action::settings:
        showSettings(std::nullopt);
        break;
    case Action::checkForUpdates:
        if (auto& controller = app::UpdaterService::shared().controller) {
            controller->checkForUpdates();
        }
        break;
    case Action::quit:
        if (handlers_.quit) {
            handlers_.quit();
        }
        break;
    }
}

void AppMenu::showSettings(std::optional<SettingsTab> tab) {
    if (tab) {
        storeSettingsTab(*tab);
    }
    if (handlers_.openSettings) {
        handlers_.openSettings();
    }
    bridge_.model().refreshStatuses();
}

} // namespace twinlantern::ui
