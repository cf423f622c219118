#pragma once

#include "core/base/Paths.h"

#include <string>
#include <string_view>
#include <vector>

namespace twinlantern::testing {

// A stand-in for an outside tool: a #!/bin/sh script that records each call's
// arguments and environment and answers from files the test writes.
class FakeTool {
public:
    // Writes <directory>/<name>; its records live in <directory>/<name>.fake/.
    FakeTool(const std::string& directory, const std::string& name);

    const std::string& path() const { return path_; }

    void answer(std::string_view stdoutText, std::string_view stderrText = "", int exitCode = 0);
    // After answering, sleeps far past any timeout a test sets.
    void hang();

    // Each call's arguments joined by single spaces, in order.
    std::vector<std::string> calls() const;
    // The environment of the last call, without what the shell adds itself.
    Environment lastEnvironment() const;

private:
    std::string path_;
    std::string state_;
};

} // namespace twinlantern::testing
