#include "tests/support/ShellFixtures.h"

namespace twinlantern::testing {

FakeHelpers::FakeHelpers() {
    for (const char* name : {"twinlantern-resolve", "twinlantern", "twinlantern-launcher"}) {
        writeFile(dir / name, std::string("#!/bin/sh\necho ") + name + " \"$@\"\n", 0755);
    }
}

std::vector<ShellIntegration::FileChange> ShellHome::install() const {
    return integration().install(helpers.resolver(), helpers.cli(), helpers.launcher(),
                                 "/Applications/TwinLantern.app");
}

} // namespace twinlantern::testing
