#pragma once

#include <memory>

namespace twinlantern::testing {

// Running apps are found machine-wide by bundle identifier, as the system lists them, so
// two test processes that run fakes with Claude Desktop's or the ChatGPT app's own id
// would see each other's instances. Such tests hold a turn and take turns across the
// processes ctest runs at once. Turns nest within a process: a test that holds one may
// make fakes that take one too.
class MachineWideTurn {
public:
    MachineWideTurn();

private:
    struct Held;
    std::shared_ptr<Held> held_;
};

} // namespace twinlantern::testing
