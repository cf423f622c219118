#pragma once

#include "core/base/ToolKind.h"
#include "core/profiles/Profile.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace twinlantern::app {

class AppModel;

// The first-run window's list of profiles to make: plain data the window edits, then
// applies once through the model.
struct ProfilePlan {
    struct Entry {
        std::string id; // the row's identity inside the plan, never a ProfileID
        bool include = true;
        std::string name; // as typed
        ProfileColor color = ProfileColor::blue;
        bool existing = false; // keeps the accounts already signed in (system storage)
        std::optional<std::string> folder;
        std::set<ToolKind> tools;

        friend bool operator==(const Entry&, const Entry&) = default;
    };

    std::vector<Entry> entries;

    // "Work" (blue, own folders) and "Personal" (green, the accounts already here).
    static ProfilePlan starting();

    bool isValid() const;
    // Appends an included row with the first unused colour and the given tools.
    void addEntry(const std::set<ToolKind>& installed);
    // Rows without tools get `defaults`, or Claude Desktop when that is empty.
    void fillEmptyTools(const std::set<ToolKind>& defaults);

    // Makes or reuses a profile per included row, adds the new ones' folders and sets
    // the terminal default; the ids in row order. Failures go to the model's alert.
    std::vector<ProfileID> apply(AppModel& model, const std::set<ToolKind>& tools) const;

    friend bool operator==(const ProfilePlan&, const ProfilePlan&) = default;
};

} // namespace twinlantern::app
