#pragma once

#include "core/base/Paths.h"
#include "core/profiles/ProfileDocument.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace twinlantern::testing {

// What one run of a program gave back.
struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// What a fake tool received: its argv (argv[0] first) and environment.
struct Received {
    std::vector<std::string> argv;
    Environment env;
};

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
    // A `#!/bin/sh` tool in `folder` that records into its own file and exits 0.
    std::string fakeTool(const std::string& folder, const std::string& name);
    void store(const ProfileDocument& document) const;
    // The environment a terminal would hand over, PATH with the shims first.
    Environment baseEnv() const;

    // Runs `program` with the given argv (argv[0] first), environment and folder.
    static RunResult run(const std::string& program, const std::vector<std::string>& argv,
                         const Environment& env, const std::string& cwd, bool emptyArgv = false);
    RunResult runShim(const std::string& name, const std::vector<std::string>& args,
                      const Environment& env, const std::string& cwd) const;
    // What the fake tool at `path` last received; nothing when it did not run.
    std::optional<Received> received(const std::string& path) const;

    TempHome home;
    std::string tools; // the real tools' folder on PATH
    std::string claudeTool, codexTool, fooTool;
};

} // namespace twinlantern::testing
