#pragma once

#include "core/doctor/Doctor.h"
#include "core/profiles/ProfileStore.h"

#include "tests/support/Programs.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace twinlantern {
// Readable failures: a check prints as its JSON.
void PrintTo(const DoctorCheck& check, std::ostream* out);
} // namespace twinlantern

namespace twinlantern::testing {

// A temporary home with fake tools on a private PATH. Every fake records its
// arguments in calls.log and answers from a file "answer" in its data folder.
struct DoctorSetup {
    TempHome h;
    std::string bin = h.home() + "/bin";
    Environment env{{"HOME", h.home()}, {"PATH", h.home() + "/bin"}};
    std::optional<DesktopInstall> desktop;
    Doctor::ExtraChecks extra;

    const std::string& home() const { return h.home(); }
    std::string calls() const {
        return exists(h.dir / "calls.log") ? readFile(h.dir / "calls.log") : "";
    }

    // A #!/bin/sh tool that logs "<name> <args>" and prints the answer file of the
    // folder its profile variable names.
    void fakeTool(const std::string& folder, const std::string& name) const {
        const char* variable = name == "codex" ? "CODEX_HOME" : "CLAUDE_CONFIG_DIR";
        writeFile(folder + "/" + name,
                  "#!/bin/sh\nprintf '%s\\n' \"" + name + " $*\" >> '" + (h.dir / "calls.log") +
                      "'\n/bin/cat \"$" + variable + "/answer\" 2>/dev/null\n",
                  0755);
    }
    void installShims() const {
        fakeTool(h.paths.shimDirectory(), "claude");
        fakeTool(h.paths.shimDirectory(), "codex");
    }
    void writeProfiles(const std::string& json) const {
        writeFile(h.paths.profilesFile(), json, 0600);
    }

    Doctor doctor() const {
        ProfileStore store(h.paths);
        return Doctor{ToolContext{h.paths, env}, [store] { return store.load(); }, desktop, extra};
    }
    std::vector<DoctorCheck> run(bool deep = false) const { return doctor().run(deep); }

    // Makes every kind of check appear once.
    void addEveryCheck();
};

// A folder that refuses writes even to root (a link to it looks like a folder), or
// nothing when this machine has none.
std::optional<std::string> unwritableFolder(const TempDir& scratch);

std::vector<std::string> ids(const std::vector<DoctorCheck>& checks);
// The only check with this id; fails the test when there is none or several.
DoctorCheck only(const std::vector<DoctorCheck>& checks, const std::string& id);
std::vector<DoctorCheck> all(const std::vector<DoctorCheck>& checks, const std::string& id);

// Profiles JSON for (id, name, tools, storage) entries, and rules (path, profile id).
struct ProfileEntry {
    std::string id;
    std::string name;
    std::vector<std::string> tools;
    std::string storage = "managed";
};
std::string profilesJson(const std::vector<ProfileEntry>& profiles,
                         const std::vector<std::pair<std::string, std::string>>& rules = {});

// Runs /bin/sh with these arguments and exactly this environment.
RunResult runShell(const std::vector<std::string>& arguments, const Environment& environment);

// The texts between backquotes in a fix, in order.
std::vector<std::string> backquoted(const std::string& text);

} // namespace twinlantern::testing
