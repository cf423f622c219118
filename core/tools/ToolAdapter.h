#pragma once

#include "core/profiles/Profile.h"
#include "core/tools/ToolContext.h"
#include "core/tools/ToolStatus.h"

#include <optional>
#include <string>

namespace twinlantern {

// Every outside tool is reached through this interface. The operations that ask the
// tool something (status, removeData, launch) block: call them off the main thread.
class ToolAdapter {
public:
    ToolAdapter(ToolKind kind, ToolContext context) : kind_(kind), context_(std::move(context)) {}
    virtual ~ToolAdapter() = default;

    ToolKind kind() const { return kind_; }
    const ToolContext& context() const { return context_; }

    virtual bool isInstalled() const = 0;
    // The variables a process of this tool needs for the profile; empty for a
    // profile that uses the tool's own default setup.
    virtual Environment environment(const Profile& profile) const = 0;
    // Never throws: problems become needsAttention.
    virtual ToolStatus status(const Profile& profile) const = 0;
    // Makes the profile's folder usable before the tool first runs.
    virtual void prepare(const Profile& profile) const = 0;
    // The command that signs the profile in; nothing when there is none.
    virtual std::optional<SignInCommand> setUp(const Profile& profile) const = 0;
    // Signs out and deletes the profile's data for this tool.
    virtual void removeData(const Profile& profile) const = 0;
    // Opens the tool for the profile; terminal tools refuse.
    virtual void launch(const Profile& profile) const;
    // A copy of the tool that PATH doesn't show (Codex inside the ChatGPT app).
    virtual std::optional<std::string> bundledBinary() const { return std::nullopt; }
    // Whether the profile's data folder already holds what `prepare` makes, so the shim
    // can skip preparing; by default the folder itself.
    virtual bool isPrepared(const std::string& dataDirectory) const;

    // Nothing for a system profile, and nothing for an id that could escape the
    // support folder.
    std::optional<std::string> dataDirectory(const Profile& profile) const;
    // Creates the folder (0700, with parents) and returns it; nothing for a system profile.
    std::optional<std::string> createDataDirectory(const Profile& profile) const;
    // Removes the folder and its contents; refuses anything not inside the support folder.
    void deleteDataDirectory(const Profile& profile) const;

protected:
    ToolAdapter(const ToolAdapter&) = default;
    ToolAdapter& operator=(const ToolAdapter&) = default;

private:
    ToolKind kind_;
    ToolContext context_;
};

} // namespace twinlantern
