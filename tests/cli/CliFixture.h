#pragma once

#include "core/base/Paths.h"
#include "core/profiles/ProfileDocument.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace twinlantern::testing {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// What a fake tool received: its argv (argv[0] first) and environment.
struct ToolCall {
    std::vector<std::string> argv;
    Environment env;
};

// A temporary HOME, fake `claude` and `codex` on a private PATH, and the built programs.
class CliFixture : public ::testing::Test {
protected:
    static std::string helpers() { return TL_HELPERS_DIR; }
    static std::string program() { return helpers() + "/twinlantern"; }
    static std::string resolver() { return helpers() + "/twinlantern-resolve"; }

    void SetUp() override;

    std::string dir(const std::string& relative) const;
    // A `#!/bin/sh` tool that records argv and environment (NUL-separated) and prints
    // the file "<folder>/<name>.answer" when there is one.
    std::string fakeTool(const std::string& folder, const std::string& name) const;
    std::optional<ToolCall> lastCall(const std::string& tool) const;

    void store(const ProfileDocument& document) const;
    void writeProfiles(const std::string& json) const;
    ProfileDocument load() const;

    // HOME and a PATH with the fake tools and the built programs; no terminal anywhere.
    Environment env() const;
    // The built `twinlantern` with these arguments, standard input from /dev/null.
    CliRun run(const std::vector<std::string>& args, std::optional<Environment> environment = {},
               std::string cwd = {}) const;
    // Any program, argv[0] first, in `cwd`, standard input from /dev/null.
    static CliRun runProgram(const std::string& path, const std::vector<std::string>& argv,
                             const Environment& environment, const std::string& cwd);
    // A program on a new pseudo-terminal that is its standard input, output and error;
    // `input` is typed into it. Returns everything the terminal showed.
    static CliRun runInTerminal(const std::string& path, const std::vector<std::string>& argv,
                                const Environment& environment, const std::string& cwd,
                                const std::string& input);
    // `sh -c command` as a user would type it, with the built tool on PATH.
    CliRun shell(const std::string& command, const std::string& cwd = {},
                 const std::string& input = {}, bool terminal = false) const;

    TempHome home;
    std::string tools; // the fake tools' folder
    std::string claude, codex;
};

// A profile for the document builders of these tests.
Profile profile(const std::string& id, const std::string& name,
                std::vector<ToolKind> tools = {ToolKind::claudeCode, ToolKind::codex},
                Profile::Storage storage = Profile::Storage::managed);

// Every file below `root` (links not followed) with its bytes, or link text, and mode.
std::map<std::string, std::string> snapshot(const std::string& root);

// The texts between backquotes.
std::vector<std::string> backquoted(const std::string& text);

} // namespace twinlantern::testing
