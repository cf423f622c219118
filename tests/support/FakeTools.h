#pragma once

#include "core/base/Paths.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twinlantern::testing {

// What a fake tool received on its last call: argv (argv[0] first) and environment,
// without the variables the shell adds itself.
struct Received {
    std::vector<std::string> argv;
    Environment env;
};

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
    // The last call's environment; empty when it never ran.
    Environment lastEnvironment() const;
    // The last call, byte for byte; nothing when it never ran.
    std::optional<Received> received() const { return receivedBy(path_); }

    // The same for the fake tool written at path.
    static std::optional<Received> receivedBy(const std::string& path);

private:
    std::string path_;
    std::string state_;
};

} // namespace twinlantern::testing
