#pragma once

#include "TwinLanternApp/ui/frame/LinuxWords.h"

#include <functional>

class QWidget;

namespace twinlantern::app {
class ModelBridge;
}

namespace twinlantern::ui {

class OnboardingView;

// The first-run window, "Welcome to TwinLantern": at most one at a time. Closing it
// discards its step and plan; profiles it created stay in the file.
namespace OnboardingWindow {

// Brings the window forward, making it (600 × 520, centred, at its first step with the
// starting plan) when there is none. An open window keeps its state; the bridge and
// `afterDone` (run once "Done" has closed the window) are used only when a window is
// made, and the bridge must outlive it.
void show(app::ModelBridge& bridge, Tray tray = Tray::available,
          std::function<void()> afterDone = {});

// The open window and its view; null when there is none.
QWidget* window();
OnboardingView* view();

} // namespace OnboardingWindow

} // namespace twinlantern::ui
