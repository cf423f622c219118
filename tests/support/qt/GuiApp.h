#pragma once

namespace twinlantern::testing {

// Set in a child run of this program that must have no QGuiApplication.
inline constexpr const char* noGuiAppVariable = "TL_TEST_NO_GUI_APP";
bool haveGuiApp();

} // namespace twinlantern::testing
