#pragma once

#include "core/base/Paths.h"

#include <sys/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twinlantern {

// The user's terminal integration: the marked block in the shell start-up files, the
// shims and program copies under ~/.twinlantern, and the record that lets removal give
// the shell files back exactly.
struct ShellIntegration {
    Paths paths;
    std::optional<std::string> zdotdir; // absolute, normalised, never the home folder

    static constexpr std::string_view beginMarker = "# >>> twinlantern >>>";
    static constexpr std::string_view endMarker = "# <<< twinlantern <<<";
    static const std::string& block();
    // The shims: one per terminal tool, named for its command.
    static constexpr std::array<std::string_view, terminalTools.size()> toolNames = [] {
        std::array<std::string_view, terminalTools.size()> names{};
        for (std::size_t i = 0; i < names.size(); ++i) {
            names[i] = toolInfo(terminalTools[i]).command;
        }
        return names;
    }();
    // Shell files are small: one past this is refused by every reader, and install
    // refuses to write one, so whatever install writes, removal and status can read.
    static constexpr std::size_t maxFileBytes = 16u << 20;

    ShellIntegration(Paths paths, const Environment& environment);

    // The zsh file always; .bashrc and .bash_profile in the home folder when they exist.
    std::vector<std::string> targetFiles() const;

    static std::string addingBlock(std::string_view text);
    static std::string removingBlock(std::string_view text);
    // Nothing but blank lines, comments and lines of the prompt snippets follows the block.
    static bool blockIsLast(std::string_view text);
    static std::optional<std::string> promptSnippet(std::string_view shell);

    std::string root() const;
    std::string libexec() const;
    std::string backups() const;
    std::string stateFile() const;
    std::string appPathFile() const;
    std::string shimFolder() const;

    // One planned shell-file change.
    struct FileChange {
        std::string path;
        bool existed = false;
        std::string before;
        std::string after;

        bool changes() const { return before != after; }
        friend bool operator==(const FileChange&, const FileChange&) = default;
    };

    // install.json
    struct InstallState {
        struct FileRecord {
            std::string path;
            bool existedBefore = false;
            std::optional<std::string> backupPath;
            bool addedNewline = false;
            std::string installedSHA256;
            friend bool operator==(const FileRecord&, const FileRecord&) = default;
        };
        std::int64_t version = 1;
        std::optional<std::string> installedAt;
        std::vector<FileRecord> files;
        friend bool operator==(const InstallState&, const InstallState&) = default;
    };

    struct Status {
        struct Block {
            std::string path;
            bool isLast = false;
            friend bool operator==(const Block&, const Block&) = default;
        };
        bool binariesInstalled = false;
        std::vector<Block> blocks;
        std::optional<std::string> appPath;

        bool isInstalled() const { return binariesInstalled && !blocks.empty(); }
        friend bool operator==(const Status&, const Status&) = default;
    };

    std::vector<FileChange> planInstall() const;
    std::vector<FileChange> install(const std::string& resolver,
                                    const std::optional<std::string>& cli,
                                    const std::optional<std::string>& launcher,
                                    const std::optional<std::string>& appPath) const;
    std::vector<FileChange> planUninstall() const;
    std::vector<FileChange> uninstall() const;

    // Never fail.
    Status status() const;
    bool refreshBinariesIfStale(const std::string& resolver, const std::optional<std::string>& cli,
                                const std::optional<std::string>& launcher) const;
    void recordAppLocation(const std::string& path) const;
    // Unified diff of one change as /usr/bin/diff prints it; empty when equal or on failure.
    std::string diff(const FileChange& change) const;

    // File operations; failures throw TwinLanternError::io with the path abbreviated.
    std::string read(const std::string& path) const;
    static std::string sha256(std::string_view text);
    // Byte for byte; false when either is not a readable regular file.
    static bool sameContents(const std::string& a, const std::string& b);
    void createDirectory(const std::string& path) const;
    void copyAtomically(const std::string& source, const std::string& destination) const;
    void symlink(const std::string& link, const std::string& destination) const;
    // Atomic replacement through links (a dangling link gets the file it names); keeps
    // the replaced file's permission bits, or uses `newMode` when nothing is there yet.
    void write(std::string_view text, const std::string& path, mode_t newMode = 0644) const;
    // Removes the file at the end of path's links; the links stay.
    void removeFile(const std::string& path) const;
    static std::string timestamp();
    std::optional<InstallState> loadState() const;
    void saveState(const InstallState& state) const;

    friend bool operator==(const ShellIntegration&, const ShellIntegration&) = default;
};

// The install record as JSON text, and back; decoding gives none for anything malformed.
std::string installStateText(const ShellIntegration::InstallState& state);
std::optional<ShellIntegration::InstallState> decodeInstallState(std::string_view text);

} // namespace twinlantern
