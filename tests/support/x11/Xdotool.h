#pragma once

#include "core/base/Paths.h"

#include <functional>
#include <string>

namespace twinlantern::testing {

// The first window with this title on the environment's display, waiting up to 10 s;
// empty when none came up.
std::string waitForWindowNamed(const std::string& title, const Environment& environment);

// Presses Return in the window until done() says it closed, at most 20 tries.
void pressReturnUntil(const std::string& window, const Environment& environment,
                      const std::function<bool()>& done);

} // namespace twinlantern::testing
