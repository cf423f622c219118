#include "core/profiles/ProfileDocument.h"

#include "core/base/Text.h"
#include "core/base/TwinLanternError.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <set>

namespace twinlantern {

namespace {
const std::string lq = "\u201C";
const std::string rq = "\u201D";

bool hasControls(const std::string& s) {
    return text::terminalSafe(s) != s;
}
} // namespace

std::string FolderRule::folderPath() const {
    std::string p = path;
    if (p.size() >= 3 && p.compare(p.size() - 3, 3, "/**") == 0) {
        p.resize(p.size() - 3);
    }
    while (p.size() >= 2 && p.back() == '/') {
        p.pop_back();
    }
    return p.empty() ? "/" : p;
}

std::string FolderRule::id() const {
    return text::lowercased(folderPath());
}

const Profile* ProfileDocument::profile(const ProfileID& id) const {
    for (const auto& p : profiles) {
        if (p.id == id) {
            return &p;
        }
    }
    return nullptr;
}

Profile* ProfileDocument::profile(const ProfileID& id) {
    for (auto& p : profiles) {
        if (p.id == id) {
            return &p;
        }
    }
    return nullptr;
}

const Profile* ProfileDocument::profileNamed(std::string_view query) const {
    const std::string_view trimmed = text::trimSpacesTabs(query);
    for (const auto& p : profiles) {
        if (text::caselessEqual(p.name, trimmed)) {
            return &p;
        }
    }
    for (const auto& p : profiles) {
        if (text::caselessEqual(p.id.rawValue, trimmed)) {
            return &p;
        }
    }
    return nullptr;
}

std::vector<FolderRule> ProfileDocument::rulesFor(const ProfileID& id) const {
    std::vector<FolderRule> out;
    for (const auto& r : rules) {
        if (r.profileID == id) {
            out.push_back(r);
        }
    }
    return out;
}

void ProfileDocument::validate(const ProfileDocument* stored) const {
    std::set<std::string> ids;
    std::set<std::string> names;
    for (const auto& p : profiles) {
        if (!p.id.isValid()) {
            throw TwinLanternError::invalidProfile(lq + p.id.rawValue + rq +
                                                   " isn't a valid profile id.");
        }
        const std::string trimmed(text::trimSpacesTabs(p.name));
        if (trimmed.empty()) {
            throw TwinLanternError::invalidProfile("Profile names can't be empty.");
        }
        if (hasControls(p.name)) {
            const Profile* before = stored != nullptr ? stored->profile(p.id) : nullptr;
            if (before == nullptr || before->name != p.name) {
                throw TwinLanternError::invalidProfile(
                    lq + text::terminalSafe(trimmed) + rq +
                    " holds a control character. Use only characters that print.");
            }
        }
        // No more characters than bytes: most names need no count.
        if (trimmed.size() > 40 && text::characterCount(trimmed) > 40) {
            throw TwinLanternError::invalidProfile(lq + trimmed + rq +
                                                   " is too long. Use 40 characters or fewer.");
        }
        if (!ids.insert(p.id.rawValue).second) {
            throw TwinLanternError::invalidProfile("Two profiles share the id " + lq +
                                                   p.id.rawValue + rq + ".");
        }
        if (!names.insert(text::lowercased(trimmed)).second) {
            throw TwinLanternError::invalidProfile("There's already a profile called " + lq +
                                                   trimmed + rq + ".");
        }
    }
    int systemCount = 0;
    for (const auto& p : profiles) {
        systemCount += p.storage == Profile::Storage::system ? 1 : 0;
    }
    if (systemCount > 1) {
        throw TwinLanternError::invalidProfile(
            "Only one profile can use the tools' default setup.");
    }
    std::set<std::string> folders;
    for (const auto& r : rules) {
        if (!ids.contains(r.profileID.rawValue)) {
            throw TwinLanternError::invalidRule("The rule for " + r.path +
                                                " points at a profile that doesn't exist.");
        }
        if (hasControls(r.path) &&
            (stored == nullptr ||
             std::find(stored->rules.begin(), stored->rules.end(), r) == stored->rules.end())) {
            throw TwinLanternError::invalidRule(
                lq + text::terminalSafe(r.path) + rq +
                " holds a control character. Use only characters that print.");
        }
        // An empty stored path would normalise to "/" and apply everywhere.
        const std::string folder = r.folderPath();
        if (r.path.empty() || (folder.front() != '/' && folder.front() != '~')) {
            throw TwinLanternError::invalidRule(lq + r.path + rq +
                                                " isn't a full path. Start it with / or ~.");
        }
        if (!folders.insert(text::lowercased(folder)).second) {
            throw TwinLanternError::invalidRule("There's already a rule for " + folder + ".");
        }
    }
    if (cliDefault && !ids.contains(cliDefault->rawValue)) {
        throw TwinLanternError::invalidProfile(
            "The terminal default points at a profile that doesn't exist.");
    }
}

void to_json(nlohmann::json& j, const FolderRule& rule) {
    j = nlohmann::json::object();
    j["path"] = rule.path;
    j["profileID"] = rule.profileID.rawValue;
}

void to_json(nlohmann::json& j, const ProfileDocument& d) {
    j = nlohmann::json::object();
    j["version"] = d.version;
    nlohmann::json& profiles = j["profiles"] = nlohmann::json::array();
    profiles.get_ref<nlohmann::json::array_t&>().reserve(d.profiles.size());
    for (const auto& p : d.profiles) {
        profiles.push_back(p);
    }
    nlohmann::json& rules = j["rules"] = nlohmann::json::array();
    rules.get_ref<nlohmann::json::array_t&>().reserve(d.rules.size());
    for (const auto& r : d.rules) {
        rules.push_back(r);
    }
    if (d.cliDefault) {
        j["cliDefault"] = d.cliDefault->rawValue;
    }
}

} // namespace twinlantern
