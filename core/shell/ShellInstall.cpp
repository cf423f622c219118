#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/base/TwinLanternError.h"
#include "core/shell/InstallJournal.h"
#include "core/shell/ShellIntegration.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <set>

namespace twinlantern {

namespace {

using FileRecord = ShellIntegration::InstallState::FileRecord;

bool existsFollowingLinks(const std::string& path, struct stat* st = nullptr) {
    struct stat local {};
    return ::stat(path.c_str(), st != nullptr ? st : &local) == 0;
}

bool lexists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string trimmedDots(std::string name) {
    auto first = name.find_first_not_of('.');
    if (first == std::string::npos) {
        return {};
    }
    return name.substr(first, name.find_last_not_of('.') - first + 1);
}

std::string isoNow() {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return buffer;
}

const FileRecord* recordFor(const std::optional<ShellIntegration::InstallState>& state,
                            const std::string& path) {
    if (!state) {
        return nullptr;
    }
    auto it = std::find_if(state->files.begin(), state->files.end(),
                           [&](const FileRecord& r) { return r.path == path; });
    return it == state->files.end() ? nullptr : &*it;
}

void removeIgnoringFailure(const std::string& path) {
    ::unlink(path.c_str());
}

std::optional<std::string> linkText(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, error))) {
        return std::nullopt;
    }
    std::string text = std::filesystem::read_symlink(path, error).string();
    return error ? std::nullopt : std::optional(std::move(text));
}

} // namespace

std::vector<ShellIntegration::FileChange> ShellIntegration::planInstall() const {
    std::vector<FileChange> plan;
    for (const auto& path : targetFiles()) {
        const bool existed = existsFollowingLinks(path);
        std::string before = existed ? read(path) : std::string();
        std::string after = addingBlock(before);
        if (after.size() > maxFileBytes) {
            throw TwinLanternError::ioErrno("write " + paths.abbreviate(path), EFBIG);
        }
        plan.push_back({path, existed, std::move(before), std::move(after)});
    }
    return plan;
}

std::vector<ShellIntegration::FileChange>
ShellIntegration::install(const std::string& resolver, const std::optional<std::string>& cli,
                          const std::optional<std::string>& launcher,
                          const std::optional<std::string>& appPath) const {
    // All or nothing: until commit, a failure puts back every file and folder touched.
    InstallJournal journal(paths);
    const std::string shims = shimFolder();
    for (const auto& folder : {root(), libexec(), shims, backups()}) {
        journal.createDirectories(folder);
    }
    auto copy = [&](const std::string& source, const std::string& destination) {
        journal.keep(destination);
        copyAtomically(source, destination);
    };
    copy(resolver, libexec() + "/twinlantern-resolve");
    if (cli) {
        copy(*cli, libexec() + "/twinlantern");
    }
    if (launcher && PathUtil::isExecutableFile(*launcher)) {
        copy(*launcher, libexec() + "/twinlantern-launcher");
    }
    auto link = [&](const std::string& at, const std::string& destination) {
        if (linkText(at) != destination) {
            journal.keep(at, true);
            symlink(at, destination);
        }
    };
    for (auto name : toolNames) {
        link(shims + "/" + std::string(name), "../libexec/twinlantern-resolve");
    }
    if (cli) {
        link(shims + "/twinlantern", "../libexec/twinlantern");
    }
    journal.keep(appPathFile());
    if (appPath) {
        write(*appPath + "\n", appPathFile());
    } else {
        removeIgnoringFailure(appPathFile());
    }

    const std::vector<FileChange> plan = planInstall();
    const std::optional<InstallState> previous = loadState();
    std::vector<FileRecord> records = previous ? previous->files : std::vector<FileRecord>{};
    const std::string stamp = timestamp();
    const std::string installedAt = isoNow();
    std::optional<std::vector<FileRecord>> saved;
    auto save = [&] {
        if (saved == records) {
            return;
        }
        if (!saved) {
            journal.keep(stateFile());
        }
        saveState({previous ? previous->version : 1, installedAt, records});
        saved = records;
    };

    for (const auto& change : plan) {
        const std::string digest = sha256(change.after);
        FileRecord record;
        auto known = std::find_if(records.begin(), records.end(),
                                  [&](const FileRecord& r) { return r.path == change.path; });
        if (known != records.end()) {
            record = *known;
            // Edited since the last install: the first backup no longer holds what the user
            // has, so keep the old digest and let removal cut the block out instead.
            if (sha256(change.before) == record.installedSHA256) {
                record.installedSHA256 = digest;
            }
        } else {
            record = {change.path, change.existed, std::nullopt,
                      !change.before.empty() && !change.before.ends_with('\n'), digest};
            if (change.existed) {
                struct stat st {};
                const mode_t mode =
                    existsFollowingLinks(change.path, &st) ? (st.st_mode & 07777) : 0644;
                const std::string base =
                    backups() + "/" + trimmedDots(change.path.substr(change.path.rfind('/') + 1)) +
                    "." + stamp;
                // Two installs in one second must not overwrite each other's backups.
                std::string name = base;
                for (int n = 2; lexists(name); ++n) {
                    name = base + "-" + std::to_string(n);
                }
                journal.created(name);
                write(change.before, name, mode);
                record.backupPath = name;
            }
        }
        std::erase_if(records, [&](const FileRecord& r) { return r.path == change.path; });
        records.push_back(std::move(record));
        if (change.changes()) {
            // The record first: a removal after a kill at any point then finds what this
            // install did to the file, and gives it back exactly.
            save();
            write(change.after, change.path);
            journal.wroteShellFile(change.path, change.existed, change.before);
        }
    }
    save();
    journal.commit();
    return plan;
}

namespace {

struct RemovalStep {
    ShellIntegration::FileChange change;
    bool restoredBackup = false;
};

std::vector<RemovalStep> planRemoval(const ShellIntegration& shell,
                                     const std::optional<ShellIntegration::InstallState>& state) {
    std::set<std::string> candidates;
    for (auto& path : shell.targetFiles()) {
        candidates.insert(std::move(path));
    }
    if (state) {
        for (const auto& record : state->files) {
            candidates.insert(record.path);
        }
    }
    std::vector<RemovalStep> plan;
    for (const auto& path : candidates) {
        if (!existsFollowingLinks(path)) {
            continue;
        }
        std::string text = shell.read(path);
        const FileRecord* record = recordFor(state, path);
        std::optional<std::string> after;
        bool restored = false;
        if (record != nullptr && ShellIntegration::sha256(text) == record->installedSHA256) {
            if (record->backupPath) {
                try {
                    // A backup taken from a file that already held the block (its record
                    // lost) must not bring the block back.
                    after = ShellIntegration::removingBlock(shell.read(*record->backupPath));
                    restored = true;
                } catch (const std::exception&) {
                }
            }
            if (!after && !record->existedBefore) {
                after = std::string();
            }
        }
        if (!after) {
            const bool blockWasLast = text.ends_with(ShellIntegration::block());
            after = ShellIntegration::removingBlock(text);
            // Only the line feed we added before the block goes; when lines follow the
            // block, that line feed now ends the user's line and the last one is theirs.
            if (record != nullptr && record->addedNewline && blockWasLast &&
                after->ends_with('\n')) {
                after->pop_back();
            }
        }
        plan.push_back({{path, true, std::move(text), std::move(*after)}, restored});
    }
    return plan;
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::error_code error;
    std::vector<std::string> entries;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        entries.push_back(it->path().filename().string());
    }
    return entries;
}

} // namespace

std::vector<ShellIntegration::FileChange> ShellIntegration::planUninstall() const {
    std::vector<FileChange> plan;
    for (auto& step : planRemoval(*this, loadState())) {
        plan.push_back(std::move(step.change));
    }
    return plan;
}

std::vector<ShellIntegration::FileChange> ShellIntegration::uninstall() const {
    const std::optional<InstallState> state = loadState();
    const std::vector<RemovalStep> steps = planRemoval(*this, state);
    std::vector<FileChange> plan;
    for (const auto& step : steps) {
        const FileChange& change = step.change;
        plan.push_back(change);
        const FileRecord* record = recordFor(state, change.path);
        const bool createdByUs = record != nullptr && !record->existedBefore;
        if (!change.changes() && !createdByUs) {
            continue;
        }
        if (createdByUs && change.after.empty()) {
            removeFile(change.path);
        } else {
            write(change.after, change.path);
        }
    }

    // An install killed half-way leaves temporary files beside what it was writing.
    std::set<std::string> shellFiles;
    for (auto& path : targetFiles()) {
        shellFiles.insert(std::move(path));
    }
    if (state) {
        for (const auto& record : state->files) {
            shellFiles.insert(record.path);
        }
    }
    for (const auto& path : shellFiles) {
        const std::optional<std::string> target = finalLinkTarget(path);
        if (!target) {
            continue;
        }
        const auto slash = target->rfind('/');
        const std::string folder = slash == 0 ? "/" : target->substr(0, slash);
        const std::string name = target->substr(slash + 1);
        for (const auto& entry : folderEntries(folder)) {
            const std::string full = folder + "/" + entry;
            struct stat st {};
            if (InstallJournal::isTemporaryOf(entry, name) && ::lstat(full.c_str(), &st) == 0 &&
                S_ISREG(st.st_mode)) {
                ::unlink(full.c_str());
            }
        }
    }

    const std::string shims = shimFolder();
    for (auto name : toolNames) {
        removeIgnoringFailure(shims + "/" + std::string(name));
    }
    for (const auto& path :
         {shims + "/twinlantern", libexec() + "/twinlantern-resolve", libexec() + "/twinlantern",
          libexec() + "/twinlantern-launcher", stateFile(), appPathFile()}) {
        removeIgnoringFailure(path);
    }
    for (const auto& folder : {shims, libexec(), root()}) {
        for (const auto& entry : folderEntries(folder)) {
            if (InstallJournal::isLeftover(entry)) {
                removeTreeWithoutFollowing(folder + "/" + entry);
            }
        }
    }
    // A backup goes once the file holds what it kept, or was given back from it; any other
    // is the only copy of a file as it was before an install, and stays.
    for (const auto& entry : folderEntries(backups())) {
        const std::string full = backups() + "/" + entry;
        bool redundant = InstallJournal::isLeftover(entry);
        for (const auto& step : steps) {
            const FileRecord* record = recordFor(state, step.change.path);
            redundant = redundant || (step.restoredBackup && record->backupPath == full);
        }
        if (!redundant) {
            const ReadResult kept = readWholeFile(full, maxFileBytes);
            for (const auto& step : steps) {
                redundant = redundant || (kept.bytes && *kept.bytes == step.change.after);
            }
        }
        if (redundant) {
            ::unlink(full.c_str());
        }
    }
    for (const auto& folder : {shims, libexec(), backups(), root()}) {
        ::rmdir(folder.c_str());
    }
    return plan;
}

} // namespace twinlantern
