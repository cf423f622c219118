#include "tests/support/FakeTools.h"

#include "tests/support/TestSupport.h"

#include <sstream>

namespace twinlantern::testing {

FakeTool::FakeTool(const std::string& directory, const std::string& name)
    : path_(directory + "/" + name), state_(path_ + ".fake") {
    makeDirs(state_);
    // Absolute paths only: the tool runs with whatever PATH the caller gives it. The last
    // call is kept NUL-separated, so every byte of every argument and value survives.
    writeFile(path_,
              "#!/bin/sh\n"
              "d='" +
                  state_ +
                  "'\n"
                  "printf '%s\\n' \"$*\" >> \"$d/calls\"\n"
                  "printf '%s\\0' \"$0\" \"$@\" > \"$d/argv\"\n"
                  "/usr/bin/env -0 > \"$d/env\"\n"
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
    auto last = received();
    return last ? last->env : Environment{};
}

namespace {
std::vector<std::string> splitNul(std::string_view bytes) {
    std::vector<std::string> pieces;
    while (!bytes.empty()) {
        const auto nul = bytes.find('\0');
        pieces.emplace_back(bytes.substr(0, nul));
        bytes.remove_prefix(nul == std::string_view::npos ? bytes.size() : nul + 1);
    }
    return pieces;
}
} // namespace

std::optional<Received> FakeTool::receivedBy(const std::string& path) {
    const std::string state = path + ".fake";
    if (!exists(state + "/argv") || !exists(state + "/env")) {
        return std::nullopt;
    }
    Received r;
    r.argv = splitNul(readFile(state + "/argv"));
    for (const auto& entry : splitNul(readFile(state + "/env"))) {
        const auto eq = entry.find('=');
        const std::string name = entry.substr(0, eq);
        if (eq != std::string::npos && name != "PWD" && name != "OLDPWD" && name != "SHLVL" &&
            name != "_") {
            r.env.emplace(name, entry.substr(eq + 1));
        }
    }
    return r;
}

} // namespace twinlantern::testing
