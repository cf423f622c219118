#include "TwinLanternApp/app/QuitWithoutWaiting.h"

#include "core/tools/ProcessRunner.h"

#include <cstdio>
#include <cstdlib>

namespace twinlantern::app {

void exitUnlessIdle(const QtScheduler& scheduler, int status) {
    if (scheduler.unfinishedJobs() == 0) {
        return;
    }
    // A hung tool, a slow login shell or an instance that won't quit would otherwise hold
    // the exit for their whole time limits. Nothing they do needs finishing: files are
    // replaced whole, and a folder half deleted was going anyway.
    ProcessRunner::endAll();
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace twinlantern::app
