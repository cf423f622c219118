#include "tests/support/FakeTools.h"

#include "tests/support/TestSupport.h"

#include <sstream>

namespace twinlantern::testing {

FakeTool::FakeTool(const std::string& directory, const std::string& name)
    : path_(directory + "/" + name), state_(path_ + ".fake") {
    makeDirs(state_);
    // Absolute paths only: the tool runs with whatever PATH the caller gives it.
    writeFile(path_,
              "#!/bin/sh\n"
              "d='" +
                  state_ +
                  "'\n"
                  "printf '%s\\n' \"$*\" >> \"$d/calls\"\n"
                  "/usr/bin/env > \"$d/env\"\n"
                  "[ -f \"$d/stdout\" ] && /bin/cat \"$d/stdout\"\n"
                  "[ -f \"$d/stderr\" ] && /bin/cat \"$d/stderr\" >&2\n"
                  "[ -f \"$d/hang\" ] && exec /bin/sleep 30\n"
                  "exit $(/bin/cat \"$d/exit\" 2>/dev/null || echo 0)\n",
              0755);
}

void FakeTool::answer(std::string_view stdoutText, std::string_view stderrText, int exitCode) {
    writeFile(state_ + "/stdout", stdoutText);
    writeFile(state_ + "/stderr", stderrText);
    writeFile(state_ + "/exit", std::to_string(exitCode));
}

void FakeTool::hang() {
    writeFile(state_ + "/hang", "");
}

std::vector<std::string> FakeTool::calls() const {
    std::vector<std::string> result;
    if (!exists(state_ + "/calls")) {
        return result;
    }
    std::istringstream in(readFile(state_ + "/calls"));
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

Environment FakeTool::lastEnvironment() const {
    Environment result;
    std::istringstream in(readFile(state_ + "/env"));
    for (std::string line; std::getline(in, line);) {
        auto equals = line.find('=');
        std::string name = line.substr(0, equals);
        if (equals == std::string::npos || name == "PWD" || name == "OLDPWD" || name == "SHLVL" ||
            name == "_") {
            continue;
        }
        result[name] = line.substr(equals + 1);
    }
    return result;
}

} // namespace twinlantern::testing
