#pragma once

#include "TwinLanternApp/ui/profiles/ProfileDetailView.h"
#include "TwinLanternApp/ui/profiles/ProfilesTab.h"
#include "TwinLanternApp/ui/frame/SettingsWindow.h"

#include "TwinLanternApp/app/ModelBridge.h"
#include "TwinLanternApp/model/AppModel.h"
#include "tests/support/app/AppFixture.h"
#include "tests/support/fakeapp/FakeApp.h"
#include "tests/app/ui/UiTest.h"

#include "core/profiles/ProfileStore.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace twinlantern::ui::test {

// A real unwatched model on a temporary home (fake claude and codex on its PATH), its
// bridge and fresh app settings, for the profile views.
struct ProfileViewsFixture {
    app::test::AppFixture app;
    FreshSettings settings;
    std::optional<tltest::FakeApp> claude, chatGPT;
    std::unique_ptr<app::AppModel> model;
    std::unique_ptr<app::ModelBridge> bridge;

    // beforeModel readies the fixture's home before the model reads it.
    explicit ProfileViewsFixture(
        bool withApps = false, const ProfileDocument* document = nullptr,
        const std::function<void(app::test::AppFixture&)>& beforeModel = {}) {
        if (withApps) {
            claude.emplace(app.home.paths.applicationsDirectory, "Claude",
                           DesktopInstall::bundleID);
            chatGPT.emplace(app.home.paths.applicationsDirectory, "ChatGPT",
                            toolInfo(ToolKind::chatGPTApp).bundleID);
        }
        if (document) {
            app.writeDocument(*document);
        }
        if (beforeModel) {
            beforeModel(app);
        }
        model = app.model(false);
        bridge = std::make_unique<app::ModelBridge>(*model);
    }
    ~ProfileViewsFixture() {
        // Windows that delete themselves on close go before the model they read.
        for (QWidget* window : QApplication::topLevelWidgets()) {
            window->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        bridge.reset();
        model.reset();
    }
    ProfileDocument stored() const { return ProfileStore(app.home.paths).load(); }
    // Another process changes the file; the model hears of it on its next reload.
    template <typename F> void elsewhere(F change) {
        ProfileStore(app.home.paths).update(change);
        model->reload();
    }
};

// The settings window on its Profiles tab, shown and active, over a fixture's model.
struct ProfilesTabWindow {
    std::unique_ptr<SettingsWindow> window;
    ProfilesTab* tab = nullptr;

    explicit ProfilesTabWindow(ProfileViewsFixture& f)
        : window(std::make_unique<SettingsWindow>(*f.bridge)),
          tab(window->findChild<ProfilesTab*>()) {
        showActive(window.get());
    }
    ProfileDetailView* detail() const { return tab->detail(); }
};

} // namespace twinlantern::ui::test
