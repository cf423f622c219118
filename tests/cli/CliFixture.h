#pragma once

#include "core/base/Paths.h"
#include "core/profiles/ProfileDocument.h"
#include "tests/support/FakeTools.h"
#include "tests/support/Profiles.h"
#include "tests/support/Programs.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace twinlantern::testing {

// A temporary HOME, fake `claude` and `codex` on a private PATH, and the built programs.
class CliFixture : public ::testing::Test {
protected:
    static std::string helpers() { return TL_HELPERS_DIR; }
    static std::string program() { return helpers() + "/twinlantern"; }
    static std::string resolver() { return helpers() + "/twinlantern-resolve"; }

    void SetUp() override;

    std::string dir(const std::string& relative) const;

    void store(const ProfileDocument& document) const;
    void writeProfiles(const std::string& json) const;
    ProfileDocument load() const;

    // HOME and a PATH with the fake tools and the built programs; no terminal anywhere.
    Environment env() const;
    // The built `twinlantern` with these arguments, standard input from /dev/null.
    RunResult run(const std::vector<std::string>& args, std::optional<Environment> environment = {},
                  std::string cwd = {}) const;
    // A program on a new pseudo-terminal that is its standard input, output and error;
    // `input` is typed into it. Returns everything the terminal showed.
    static RunResult runInTerminal(const std::string& path, const std::vector<std::string>& argv,
                                   const Environment& environment, const std::string& cwd,
                                   const std::string& input);
    // `sh -c command` as a user would type it, with the built tool on PATH.
    RunResult shell(const std::string& command, const std::string& cwd = {},
                    const std::string& input = {}, bool terminal = false) const;

    TempHome home;
    std::string tools = home.dir / "tools"; // the fake tools' folder
    FakeTool claude{tools, "claude"};
    FakeTool codex{tools, "codex"};
};


// The texts between backquotes.
std::vector<std::string> backquoted(const std::string& text);

} // namespace twinlantern::testing
