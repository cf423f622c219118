#pragma once

#include "core/base/Paths.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twinlantern::platform {

// Which application opens a URL scheme: the x-scheme-handler/<scheme> default of the
// mimeapps.list files, naming desktop entries "<CFBundleIdentifier>.desktop".
class SchemeHandlers {
public:
    // The XDG folders come from this environment, with their usual defaults under home.
    SchemeHandlers(std::string home, const Environment& environment);

    // The mimeapps.list files in lookup order: per folder the desktop-specific lists
    // ($XDG_CURRENT_DESKTOP, lower-cased) first, then the plain one.
    std::vector<std::string> mimeAppsLists() const;
    // The desktop entry with that id in the data folders; nothing when none.
    std::optional<std::string> entryPath(std::string_view desktopID) const;
    // The entry the scheme opens with: the first installed id of the first list naming one.
    std::optional<std::string> handlerEntry(std::string_view scheme) const;
    // The .app bundle whose Contents/MacOS program the handler's Exec runs, else the
    // entry's path; nothing without a handler.
    std::optional<std::string> currentHandler(std::string_view scheme) const;
    // Makes the bundle the scheme's handler: writes its entry in the user's applications
    // folder (our own bundle's when missing or stale, another app's only when no entry has
    // its id), then the default in
    // the user's mimeapps.list (and in a desktop-specific list there that holds the key),
    // changing no other line. Throws TwinLanternError.
    void setHandler(std::string_view scheme, const std::string& bundlePath, bool own);

    // One of the user's lists that setHandler changes, as it was: its text, or none when
    // it wasn't there.
    struct SavedDefault {
        std::string list;
        std::optional<std::string> text;
        friend bool operator==(const SavedDefault&, const SavedDefault&) = default;
    };
    // The lists setHandler changes, as they are now: the plain list and the
    // desktop-specific ones that hold the key. Throws TwinLanternError.
    std::vector<SavedDefault> userDefaults(std::string_view scheme) const;
    // Puts each list back as it was when nothing but our line changed in it since (a list
    // that wasn't there goes again); else puts the key's old line back in place of ours,
    // or takes ours out where there was none, changing no other line. Lists other than
    // the user's own are ignored. Throws TwinLanternError.
    void restoreDefaults(std::string_view scheme, const std::vector<SavedDefault>& saved) const;
    // text with key's lines in [Default Applications] made line, or taken out for none.
    static std::string withLine(std::string_view text, std::string_view key,
                                const std::optional<std::string>& line);

    // The user's entry text for a bundle's program; nothing for a path Exec can't carry.
    static std::optional<std::string> entryText(const std::string& name,
                                                const std::string& program);
    // mimeapps.list text with key set to value in [Default Applications]; other bytes kept.
    // When `onlyIfPresent`, nothing when the key isn't there.
    static std::optional<std::string> withDefault(std::string_view text, std::string_view key,
                                                  std::string_view value, bool onlyIfPresent);

    const std::string& configHome() const { return configHome_; }
    const std::string& dataHome() const { return dataHome_; }

private:
    std::vector<std::string> userLists() const;

    std::string configHome_;
    std::vector<std::string> configDirs_;
    std::string dataHome_;
    std::vector<std::string> dataDirs_;
    std::vector<std::string> desktops_;
};

} // namespace twinlantern::platform
