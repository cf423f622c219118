#include "TwinLanternApp/model/ProfilePlan.h"

#include "TwinLanternApp/model/AppModel.h"

#include "core/base/Random.h"
#include "core/base/Text.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace twinlantern::app {

namespace {

// The same trimming and folding as the store's name check, so a plan that passes here
// is one the store takes (line breaks stay and the store refuses them).
std::string key(const std::string& name) {
    return text::lowercased(text::trimSpacesTabs(name));
}

std::string fourHexDigits() {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", secureRandomBelow(0x10000));
    return digits;
}

} // namespace

ProfilePlan ProfilePlan::starting() {
    ProfilePlan plan;
    plan.entries.push_back({"work", true, "Work", ProfileColor::blue, false, std::nullopt, {}});
    plan.entries.push_back(
        {"personal", true, "Personal", ProfileColor::green, true, std::nullopt, {}});
    return plan;
}

bool ProfilePlan::isValid() const {
    std::set<std::string> keys;
    int existing = 0;
    for (const Entry& entry : entries) {
        if (!entry.include) {
            continue;
        }
        std::string k = key(entry.name);
        if (k.empty() || !keys.insert(std::move(k)).second || entry.tools.empty()) {
            return false;
        }
        existing += entry.existing ? 1 : 0;
    }
    return !keys.empty() && existing <= 1;
}

void ProfilePlan::addEntry(const std::set<ToolKind>& installed) {
    ProfileColor color = ProfileColor::graphite;
    for (ProfileColor candidate : allProfileColors) {
        if (std::none_of(entries.begin(), entries.end(),
                         [&](const Entry& e) { return e.color == candidate; })) {
            color = candidate;
            break;
        }
    }
    std::string id = "extra-";
    id += std::to_string(entries.size() + 1);
    id += "-";
    id += fourHexDigits();
    entries.push_back({std::move(id), true, "", color, false, std::nullopt, installed});
}

void ProfilePlan::fillEmptyTools(const std::set<ToolKind>& defaults) {
    for (Entry& entry : entries) {
        if (entry.tools.empty()) {
            entry.tools = defaults.empty() ? std::set<ToolKind>{ToolKind::claudeDesktop} : defaults;
        }
    }
}

std::vector<ProfileID> ProfilePlan::apply(AppModel& model, const std::set<ToolKind>& tools) const {
    std::map<std::string, ProfileID> made;
    for (const Entry& entry : entries) {
        if (!entry.include) {
            continue;
        }
        // Read afresh: the rows before may have added to it.
        if (const Profile* found = model.document().profileNamed(entry.name)) {
            made.emplace(entry.id, found->id); // reused as it is, folder and all
            continue;
        }
        std::vector<ToolKind> kinds(entry.tools.begin(), entry.tools.end());
        if (kinds.empty()) {
            kinds.assign(tools.begin(), tools.end());
        }
        if (kinds.empty()) {
            kinds.assign(allToolKinds.begin(), allToolKinds.end());
        }
        const std::optional<Profile> created = model.createProfile(
            std::string(text::trimSpacesTabs(entry.name)), entry.color, kinds,
            entry.existing ? Profile::Storage::system : Profile::Storage::managed);
        if (!created) {
            continue; // the model has set the alert
        }
        made.emplace(entry.id, created->id);
        if (entry.folder) {
            // A failure keeps the profile: it is made and stays in the result.
            model.addRule(*entry.folder, created->id);
        }
    }
    const auto keeper = std::find_if(entries.begin(), entries.end(),
                                     [](const Entry& e) { return e.include && e.existing; });
    if (keeper != entries.end()) {
        if (const auto it = made.find(keeper->id); it != made.end()) {
            model.setTerminalDefault(it->second);
        }
    }
    std::vector<ProfileID> result;
    for (const Entry& entry : entries) {
        if (const auto it = made.find(entry.id); entry.include && it != made.end()) {
            result.push_back(it->second);
        }
    }
    return result;
}

} // namespace twinlantern::app
