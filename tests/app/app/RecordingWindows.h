#pragma once

#include "TwinLanternApp/app/AppWindows.h"
#include "TwinLanternApp/app/SettingsOpener.h"

#include <string>
#include <vector>

namespace twinlantern::testing {

// The windows as tests see them: each request recorded by name ("settings",
// "onboarding", "help", "snapshots <folder>"), nothing drawn. The settings opener is
// supplied at prepare() unless `supplyOnPrepare` is off; then supplyAction() does it.
class RecordingWindows final : public app::AppWindows {
public:
    std::vector<std::string> calls;
    bool supplyOnPrepare = true;
    bool renderResult = true;

    ~RecordingWindows() override { app::SettingsOpener::setAction({}); }

    void prepare() override {
        calls.emplace_back("prepare");
        if (supplyOnPrepare) {
            supplyAction();
        }
    }
    void supplyAction() {
        app::SettingsOpener::setAction([this] { calls.emplace_back("settings"); });
    }
    void showOnboarding() override { calls.emplace_back("onboarding"); }
    void showHelp() override { calls.emplace_back("help"); }
    bool renderSnapshots(const std::string& folder) override {
        std::string call = "snapshots ";
        call += folder;
        calls.push_back(call);
        return renderResult;
    }
};

} // namespace twinlantern::testing
