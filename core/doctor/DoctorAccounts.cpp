// The deep checks: each terminal tool's sign-in status per profile, and profiles
// that share one account.
#include "core/doctor/Doctor.h"

#include "core/base/ShellQuote.h"
#include "core/base/Text.h"
#include "core/tools/ToolRegistry.h"

namespace twinlantern {

namespace {

std::string accountDetail(const AccountInfo& account) {
    std::string detail;
    for (const auto& field :
         {account.email, account.organizationName, account.plan, account.method}) {
        if (field) {
            detail += (detail.empty() ? "" : " · ") + *field;
        }
    }
    return detail;
}

} // namespace

std::vector<DoctorCheck> Doctor::accountChecks(const ProfileDocument& document) const {
    std::vector<DoctorCheck> checks;
    for (const auto& adapter : ToolRegistry::cliAdapters(context)) {
        const ToolKind kind = adapter->kind();
        const std::string tool = rawValue(kind);
        // Account key and the names signed in to it, in the order first seen.
        std::vector<std::pair<std::string, std::vector<std::string>>> groups;
        for (const Profile& profile : document.profiles) {
            if (!profile.uses(kind)) {
                continue;
            }
            const ToolStatus status = adapter->status(profile);
            DoctorCheck check{"status." + profile.id.rawValue + "." + tool, DoctorCheck::Level::ok,
                              profile.name + " · " + displayName(kind) + ": " + status.label(),
                              std::nullopt, std::nullopt};
            switch (status.state) {
            case ToolStatus::Case::signedIn:
                check.detail = accountDetail(status.account);
                if (auto key = status.account.sameAccountKey()) {
                    auto group = std::find_if(groups.begin(), groups.end(),
                                              [&](const auto& g) { return g.first == *key; });
                    if (group == groups.end()) {
                        group = groups.insert(groups.end(), {*key, {}});
                    }
                    group->second.push_back(profile.name);
                }
                break;
            case ToolStatus::Case::ready:
                break;
            case ToolStatus::Case::needsAttention:
                check.level = DoctorCheck::Level::warning;
                check.detail = status.message;
                check.fix = "Sign in again: `twinlantern login " + ShellQuote::quote(profile.name) +
                            " " + tool + "`.";
                break;
            case ToolStatus::Case::notInstalled:
            case ToolStatus::Case::notSetUp:
                check.level = DoctorCheck::Level::info;
                break;
            }
            checks.push_back(std::move(check));
        }
        for (const auto& [key, names] : groups) {
            if (names.size() < 2) {
                continue;
            }
            checks.push_back(
                {"account.same." + tool, DoctorCheck::Level::warning,
                 text::joined(names, " and ") + " use the same " + displayName(kind) + " account",
                 "Profiles are meant to keep separate accounts apart.",
                 "Sign one of them in to a different account, or merge the profiles."});
        }
    }
    return checks;
}

} // namespace twinlantern
