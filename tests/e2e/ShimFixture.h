#pragma once

#include "core/base/Paths.h"
#include "core/profiles/ProfileDocument.h"

#include "tests/support/FakeTools.h"
#include "tests/support/Programs.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace twinlantern::testing {

// A temporary HOME with the shims linked into ~/.twinlantern/bin and fake tools that
// record what they get on a temporary PATH.
class ShimFixture : public ::testing::Test {
protected:
    static std::string resolver() { return std::string(TL_HELPERS_DIR) + "/twinlantern-resolve"; }

    void SetUp() override;

    std::string shim(const std::string& name) const {
        return home.paths.shimDirectory() + "/" + name;
    }
    std::string dir(const std::string& relative) const;
    // A fake tool in `folder` that records what it gets and exits 0; its path.
    static std::string fakeTool(const std::string& folder, const std::string& name) {
        makeDirs(folder);
        return FakeTool(folder, name).path();
    }
    void store(const ProfileDocument& document) const;
    // The environment a terminal would hand over, PATH with the shims first.
    Environment baseEnv() const;

    // Runs `program` with the given argv (argv[0] first), environment and folder.
    static RunResult run(const std::string& program, const std::vector<std::string>& argv,
                         const Environment& env, const std::string& cwd, bool emptyArgv = false) {
        return runProgram(program, argv, env, {.cwd = cwd, .emptyArgv = emptyArgv});
    }
    RunResult runShim(const std::string& name, const std::vector<std::string>& args,
                      const Environment& env, const std::string& cwd) const;
    // What the fake tool at `path` last received; nothing when it did not run.
    static std::optional<Received> received(const std::string& path) {
        return FakeTool::receivedBy(path);
    }

    TempHome home;
    std::string tools; // the real tools' folder on PATH
    std::string claudeTool, codexTool, fooTool;
};

} // namespace twinlantern::testing
