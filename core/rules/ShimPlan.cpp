#include "core/rules/ShimPlan.h"

#include "core/rules/RuleResolver.h"
#include "core/tools/ToolRegistry.h"

#include <algorithm>
#include <memory>
#include <set>

namespace twinlantern::ShimPlan {

namespace {

std::unique_ptr<ToolAdapter> adapterFor(ToolKind kind, const Paths& paths,
                                        const Environment& environment) {
    return ToolRegistry::adapter(kind, ToolContext{paths, environment});
}

} // namespace

std::set<std::string> managedNames(const Environment& environment) {
    std::set<std::string> names;
    auto it = environment.find(markerVariable);
    if (it == environment.end()) {
        return names;
    }
    std::string_view rest = it->second;
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        if (std::string_view piece = rest.substr(0, comma); !piece.empty()) {
            names.emplace(piece);
        }
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    return names;
}

std::optional<ToolKind> tool(std::string_view name) {
    return toolKindFromCommand(name);
}

std::vector<std::string> variables(ToolKind kind) {
    if (isApp(kind)) {
        return {};
    }
    return {toolInfo(kind).configVariable};
}

Changes changes(std::string_view toolName, const Environment& environment, const std::string& cwd,
                const ProfileDocument& document, const Paths& paths) {
    const auto kind = tool(toolName);
    if (!kind) {
        return {};
    }
    const std::vector<std::string> ours = variables(*kind);
    const std::set<std::string> previous = managedNames(environment);
    const Resolution resolution = resolveFolder(document, paths.home, cwd, cwd);

    // A managed profile without a folder (its id could escape the support folder) is
    // treated as no profile.
    std::unique_ptr<ToolAdapter> adapter;
    if (resolution.profile && resolution.profile->uses(*kind)) {
        adapter = adapterFor(*kind, paths, environment);
    }
    bool applies = adapter && (resolution.profile->storage == Profile::Storage::system ||
                               adapter->dataDirectory(*resolution.profile));
    Environment profileEnvironment;
    if (applies) {
        profileEnvironment = adapter->environment(*resolution.profile);
    }

    std::set<std::string> managed = previous;
    for (const auto& name : ours) {
        managed.erase(name);
    }

    Changes result;
    for (const auto& name : ours) {
        const bool inEnvironment = environment.contains(name);
        if (inEnvironment && !previous.contains(name)) {
            applies = false; // the user's own value: the profile is not applied at all
        } else if (auto it = profileEnvironment.find(name); it != profileEnvironment.end()) {
            result.set[name] = it->second;
            managed.insert(name);
        } else if (inEnvironment) {
            result.unset.push_back(name);
        }
    }

    if (applies) {
        result.set[profileVariable] = resolution.profile->name;
        result.profile = resolution.profile->name;
        if (resolution.profile->storage == Profile::Storage::managed) {
            result.prepare = resolution.profile;
        }
    } else if (environment.contains(profileVariable)) {
        result.unset.push_back(profileVariable);
    }

    std::string marker;
    for (const auto& name : managed) { // a set: already sorted
        const bool unsetHere =
            std::find(result.unset.begin(), result.unset.end(), name) != result.unset.end();
        if (result.set.contains(name) || (environment.contains(name) && !unsetHere)) {
            marker += marker.empty() ? name : "," + name;
        }
    }
    if (!marker.empty()) {
        result.set[markerVariable] = marker;
    } else if (environment.contains(markerVariable)) {
        result.unset.push_back(markerVariable);
    }

    std::sort(result.unset.begin(), result.unset.end());
    return result;
}

Environment Changes::applied(const Environment& environment) const {
    Environment out = environment;
    for (const auto& name : unset) {
        out.erase(name);
    }
    for (const auto& [name, value] : set) {
        out[name] = value;
    }
    return out;
}

void prepare(const Changes& changes, std::string_view toolName, const Paths& paths,
             const Environment& environment) {
    const auto kind = tool(toolName);
    if (!changes.prepare || !kind) {
        return;
    }
    const auto adapter = adapterFor(*kind, paths, environment);
    const auto folder = adapter->dataDirectory(*changes.prepare);
    if (!folder) {
        return; // an id that is not valid never becomes a path
    }
    if (adapter->isPrepared(*folder)) {
        return;
    }
    try {
        adapter->prepare(*changes.prepare);
    } catch (...) {
        // The tool runs and reports the problem itself.
    }
}

} // namespace twinlantern::ShimPlan
