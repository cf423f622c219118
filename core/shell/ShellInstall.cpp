#include "core/base/PathUtil.h"
#include "core/base/TwinLanternError.h"
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
    const std::string shims = shimFolder();
    for (const auto& folder : {root(), libexec(), shims, backups()}) {
        createDirectory(folder);
    }
    copyAtomically(resolver, libexec() + "/twinlantern-resolve");
    if (cli) {
        copyAtomically(*cli, libexec() + "/twinlantern");
    }
    if (launcher && PathUtil::isExecutableFile(*launcher)) {
        copyAtomically(*launcher, libexec() + "/twinlantern-launcher");
    }
    for (auto name : toolNames) {
        symlink(shims + "/" + std::string(name), "../libexec/twinlantern-resolve");
    }
    if (cli) {
        symlink(shims + "/twinlantern", "../libexec/twinlantern");
    }
    if (appPath) {
        write(*appPath + "\n", appPathFile());
    } else {
        removeIgnoringFailure(appPathFile());
    }

    const std::vector<FileChange> plan = planInstall();
    const std::optional<InstallState> previous = loadState();
    std::vector<FileRecord> records = previous ? previous->files : std::vector<FileRecord>{};
    const std::string stamp = timestamp();

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
                write(change.before, name, mode);
                record.backupPath = name;
            }
        }
        if (change.changes()) {
            write(change.after, change.path);
        }
        std::erase_if(records, [&](const FileRecord& r) { return r.path == change.path; });
        records.push_back(std::move(record));
    }

    saveState({previous ? previous->version : 1, isoNow(), std::move(records)});
    return plan;
}

std::vector<ShellIntegration::FileChange> ShellIntegration::planUninstall() const {
    const std::optional<InstallState> state = loadState();
    std::set<std::string> candidates;
    for (auto& path : targetFiles()) {
        candidates.insert(std::move(path));
    }
    if (state) {
        for (const auto& record : state->files) {
            candidates.insert(record.path);
        }
    }
    std::vector<FileChange> plan;
    for (const auto& path : candidates) {
        if (!existsFollowingLinks(path)) {
            continue;
        }
        std::string text = read(path);
        const FileRecord* record = recordFor(state, path);
        std::optional<std::string> after;
        if (record != nullptr && sha256(text) == record->installedSHA256) {
            if (record->backupPath) {
                try {
                    // A backup taken from a file that already held the block (its record
                    // lost) must not bring the block back.
                    after = removingBlock(read(*record->backupPath));
                } catch (const std::exception&) {
                }
            }
            if (!after && !record->existedBefore) {
                after = std::string();
            }
        }
        if (!after) {
            const bool blockWasLast = text.ends_with(block());
            after = removingBlock(text);
            // Only the line feed we added before the block goes; when lines follow the
            // block, that line feed now ends the user's line and the last one is theirs.
            if (record != nullptr && record->addedNewline && blockWasLast &&
                after->ends_with('\n')) {
                after->pop_back();
            }
        }
        plan.push_back({path, true, std::move(text), std::move(*after)});
    }
    return plan;
}

std::vector<ShellIntegration::FileChange> ShellIntegration::uninstall() const {
    const std::vector<FileChange> plan = planUninstall();
    const std::optional<InstallState> state = loadState();
    for (const auto& change : plan) {
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
    const std::string shims = shimFolder();
    for (auto name : toolNames) {
        removeIgnoringFailure(shims + "/" + std::string(name));
    }
    for (const auto& path :
         {shims + "/twinlantern", libexec() + "/twinlantern-resolve", libexec() + "/twinlantern",
          libexec() + "/twinlantern-launcher", stateFile(), appPathFile()}) {
        removeIgnoringFailure(path);
    }
    std::error_code error;
    std::vector<std::string> entries;
    for (std::filesystem::directory_iterator it(backups(), error), end; !error && it != end;
         it.increment(error)) {
        entries.push_back(it->path().string());
    }
    for (const auto& entry : entries) {
        ::remove(entry.c_str());
    }
    for (const auto& folder : {shims, libexec(), backups(), root()}) {
        ::rmdir(folder.c_str());
    }
    return plan;
}

} // namespace twinlantern
