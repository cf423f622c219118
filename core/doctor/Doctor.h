#pragma once

#include "core/tools/DesktopInstall.h"
#include "core/doctor/DoctorCheck.h"
#include "core/profiles/ProfileDocument.h"
#include "core/rules/ShimPlan.h"
#include "core/tools/ToolContext.h"

#include <array>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace twinlantern {

// Examines the whole setup and reports every finding as a check. Reads only; never
// throws for anything it finds, and changes nothing on disk.
struct Doctor {
    // Where a shim records, comma-separated, the tool variables it set itself.
    static constexpr const char* managedMarkerVariable = ShimPlan::markerVariable;
    // Command names of other account-switching tools.
    static constexpr std::array<std::string_view, 9> conflictingExecutables = {
        "claude-swap",   "cswap",          "ccswitch",        "ccswitcher",
        "claude-switch", "claude-profile", "claude-profiles", "claude-multiprofile",
        "codex-switch"};

    // May throw; its message becomes the "profiles" failure. Safe on any thread.
    using DocumentLoader = std::function<ProfileDocument()>;
    // Must not throw. Safe on any thread.
    using ExtraChecks = std::function<std::vector<DoctorCheck>(const ProfileDocument&)>;

    ToolContext context;
    DocumentLoader loadDocument;
    std::optional<DesktopInstall> desktop;
    ExtraChecks extraChecks;

    // Blocking; call off the main thread. A shallow run starts no process; a deep run
    // also asks each terminal tool for every profile's status, one at a time.
    std::vector<DoctorCheck> run(bool deep) const;

private:
    DoctorCheck profilesCheck(ProfileDocument& document) const;
    DoctorCheck binaryCheck(ToolKind kind, bool used) const;
    DoctorCheck shimCheck(ToolKind kind) const;
    DoctorCheck desktopCheck(bool used) const;
    std::vector<DoctorCheck> missingRuleChecks(const ProfileDocument& document) const;
    std::vector<DoctorCheck> shellBlockChecks() const;

    std::vector<DoctorCheck> dataDirectoryChecks(const ProfileDocument& document) const;
    std::vector<DoctorCheck> environmentChecks(const Environment& environment,
                                               const ProfileDocument& doc) const;
    std::vector<DoctorCheck> conflictChecks() const;
    std::vector<DoctorCheck> aliasChecks() const;
    std::vector<DoctorCheck> accountChecks(const ProfileDocument& document) const;
};

} // namespace twinlantern
