#include "tests/core/doctor/DoctorFixture.h"

#include "core/shell/ShellIntegration.h"

#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>
namespace twinlantern {
void PrintTo(const DoctorCheck& check, std::ostream* out) {
    *out << nlohmann::json(check).dump();
}
} // namespace twinlantern

namespace twinlantern::testing {

void DoctorSetup::addEveryCheck() {
    writeProfiles(profilesJson({{"work", "Work", {"claude-code", "codex", "claude-desktop"}}},
                               {{"~/gone/**", "work"}}));
    fakeTool(bin, "claude");
    fakeTool(bin, "cswap");
    installShims();
    env["PATH"] = bin + ":" + h.paths.shimDirectory();
    env["CODEX_HOME"] = home() + "/codex";
    env["ANTHROPIC_API_KEY"] = "sk-secret";
    writeFile(home() + "/.zshrc",
              "export A=1\n" + ShellIntegration::block() + "alias claude='claude --fast'\n");
    extra = [](const ProfileDocument& document) {
        return std::vector<DoctorCheck>{{"launcher.work",
                                         DoctorCheck::Level::info,
                                         std::to_string(document.profiles.size()),
                                         {},
                                         {}}};
    };
}

std::optional<std::string> unwritableFolder(const TempDir& scratch) {
    if (::geteuid() != 0) {
        makeDirs(scratch / "locked");
        ::chmod((scratch / "locked").c_str(), 0555);
        return scratch / "locked";
    }
    // Root may write anywhere except where the kernel itself says no.
    if (::access("/proc/self", W_OK) != 0) {
        return "/proc/self";
    }
    return std::nullopt;
}

std::vector<std::string> ids(const std::vector<DoctorCheck>& checks) {
    std::vector<std::string> out;
    for (const auto& c : checks) {
        out.push_back(c.id);
    }
    return out;
}

std::vector<DoctorCheck> all(const std::vector<DoctorCheck>& checks, const std::string& id) {
    std::vector<DoctorCheck> out;
    for (const auto& c : checks) {
        if (c.id == id) {
            out.push_back(c);
        }
    }
    return out;
}

DoctorCheck only(const std::vector<DoctorCheck>& checks, const std::string& id) {
    auto found = all(checks, id);
    EXPECT_EQ(found.size(), 1u) << id;
    return found.empty() ? DoctorCheck{} : found.front();
}

std::string profilesJson(const std::vector<ProfileEntry>& profiles,
                         const std::vector<std::pair<std::string, std::string>>& rules) {
    nlohmann::json doc{
        {"version", 1}, {"profiles", nlohmann::json::array()}, {"rules", nlohmann::json::array()}};
    for (const auto& p : profiles) {
        doc["profiles"].push_back({{"id", p.id},
                                   {"name", p.name},
                                   {"color", "blue"},
                                   {"badge", p.name.substr(0, 1)},
                                   {"tools", p.tools},
                                   {"storage", p.storage}});
    }
    for (const auto& [path, id] : rules) {
        doc["rules"].push_back({{"path", path}, {"profileID", id}});
    }
    return doc.dump();
}

RunResult runShell(const std::vector<std::string>& arguments, const Environment& environment) {
    std::vector<std::string> argv{"sh"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return runProgram("/bin/sh", argv, environment);
}

std::vector<std::string> backquoted(const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (true) {
        auto open = text.find('`', at);
        if (open == std::string::npos) {
            break;
        }
        auto close = text.find('`', open + 1);
        if (close == std::string::npos) {
            break;
        }
        out.push_back(text.substr(open + 1, close - open - 1));
        at = close + 1;
    }
    return out;
}

} // namespace twinlantern::testing
