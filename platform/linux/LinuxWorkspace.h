#pragma once

#include "platform/Workspace.h"

namespace twinlantern::platform {

// Applications are bundles in the applications folders; running ones are found in /proc
// by the bundle executable they run, links resolved on both sides and the file compared,
// so a bundle whose program, MacOS folder or whole self is a link still shows its
// processes. A process of a bundle elsewhere is known by its path alone.
class LinuxWorkspace final : public Workspace {
public:
    LinuxWorkspace(Paths paths, Environment environment)
        : paths_(std::move(paths)), environment_(std::move(environment)) {}

    const Environment& environment() const override { return environment_; }
    std::optional<std::string> applicationLocation(std::string_view bundleID) const override;
    std::vector<RunningApplication> runningApplications(std::string_view bundleID) const override;
    std::optional<RunningApplication> application(pid_t pid) const override;
    pid_t open(const std::string& bundlePath, const std::vector<std::string>& arguments,
               const Environment& environment) override;
    // $TERMINAL (one program, never split), else x-terminal-emulator, found on this
    // workspace's PATH and run as "<program> -e <script>".
    bool openInTerminal(const std::string& scriptPath) override;
    // xdg-open, found on this workspace's PATH, detached.
    bool revealFolder(const std::string& folder) override;
    void activate(const RunningApplication& application) override;
    bool terminate(const RunningApplication& application) override;
    bool isTerminated(pid_t pid) const override;
    bool isAlive(pid_t pid) const override;

    // The executable a bundle names, "<bundle>/Contents/MacOS/<CFBundleExecutable>";
    // nothing without a plain file name there.
    static std::optional<std::string> bundleExecutable(const std::string& bundlePath);

private:
    Paths paths_;
    Environment environment_;
};

// Sends _NET_ACTIVE_WINDOW for the top-level window whose _NET_WM_PID is pid, on the
// X display named; nothing when there is no display or no such window.
void activateX11WindowOf(pid_t pid, const std::string& display);

} // namespace twinlantern::platform
