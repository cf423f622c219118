#pragma once

#include "core/base/PropertyList.h"

#include <optional>
#include <string>

namespace twinlantern::app {

// The bundle this process runs from: ".../TwinLantern.app" around Contents/MacOS/<exe>.
namespace MainBundle {

// Contents/Info.plist of the running executable's bundle, or of the folder beside it.
std::string infoPlistPath();
// Read afresh at every call; nothing when absent or unreadable (an empty dictionary).
std::optional<PropertyList> info();

} // namespace MainBundle

} // namespace twinlantern::app
