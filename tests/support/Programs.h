#pragma once

#include "core/base/Paths.h"

#include <string>
#include <vector>

namespace twinlantern::testing {

// What one run of a program gave back.
struct RunResult {
    int exitCode = -1; // 128 + signal when a signal ended it
    std::string out;
    std::string err;
};

struct RunOptions {
    std::string cwd;              // the folder it starts in; empty: the test's own
    bool emptyArgv = false;       // exec with no arguments at all, not even argv[0]
    unsigned timeoutSeconds = 60; // then SIGALRM ends it instead of blocking the suite
};

// Runs `program` (no PATH lookup) with exactly this argv (argv[0] first) and environment.
// Output goes to files, so children the program leaves behind cannot hold the run.
RunResult runProgram(const std::string& program, const std::vector<std::string>& argv,
                     const Environment& environment, const RunOptions& options = {});

// The same with argv[0] as the program.
RunResult runProgram(const std::vector<std::string>& argv, const Environment& environment);

} // namespace twinlantern::testing
