#pragma once

#include "TwinLanternApp/app/QtScheduler.h"

namespace twinlantern::app {

// Quitting never waits for background jobs: while any still runs, the children of every
// run are ended and the process exits at once with `status`; with none it returns and
// the exit goes on in order. Call once the lock and the socket are released.
void exitUnlessIdle(const QtScheduler& scheduler, int status);

} // namespace twinlantern::app
