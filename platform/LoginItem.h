#pragma once

#include "core/base/Paths.h"

#include <string>
#include <string_view>

namespace twinlantern::platform {

// Opening the app at login: an XDG autostart entry that starts this executable with
// "--launched-at-login", so the start knows where it came from.
class LoginItem {
public:
    static constexpr std::string_view entryName = "app.twinlantern.desktop";
    static constexpr std::string_view launchedAtLoginFlag = "--launched-at-login";

    // Never "needs approval" here: an entry that is written is in force.
    enum class Status { notRegistered, enabled };

    // The autostart folder is $XDG_CONFIG_HOME/autostart (~/.config when unset or relative).
    LoginItem(const std::string& home, const Environment& environment, std::string executable);

    const std::string& entryPath() const { return entryPath_; }
    // Enabled when the entry runs this executable and isn't hidden.
    Status status() const;
    bool enabled() const { return status() == Status::enabled; }

    // Writes the entry atomically. Throws TwinLanternError, and then nothing changed.
    void registerItem() const;
    // Removes the entry; none there is fine. Throws TwinLanternError.
    void unregister() const;

    // The entry's text; throws TwinLanternError for a path Exec can't carry.
    static std::string entryText(const std::string& executable);
    // Whether entry text runs executable and has no Hidden=true.
    static bool isEnabledEntry(std::string_view text, const std::string& executable);

private:
    std::string executable_;
    std::string entryPath_;
};

} // namespace twinlantern::platform
