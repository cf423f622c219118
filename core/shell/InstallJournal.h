#pragma once

#include "core/base/Paths.h"

#include <string>
#include <string_view>
#include <vector>

namespace twinlantern {

// What one install has changed so far, so that a failure puts every file and folder back
// as it was. Whatever a step replaces or removes is kept under a second name until the
// install is done; the destructor rolls back unless commit() came first.
class InstallJournal {
public:
    explicit InstallJournal(const Paths& paths) : paths_(paths) {}
    InstallJournal(const InstallJournal&) = delete;
    InstallJournal& operator=(const InstallJournal&) = delete;
    ~InstallJournal();

    // mkdir -p with the default mode, remembering each folder it made.
    void createDirectories(const std::string& path);
    // Call before path is replaced or removed: the file or link there is kept to be put
    // back, and a folder too when the step removes folders (else it makes the step fail);
    // nothing there means a rollback removes what comes.
    void keep(const std::string& path, bool folderGoesToo = false);
    // A file that did not exist and has now been made.
    void created(const std::string& path);
    // A shell file written through its links: a rollback writes `before` back with the
    // file's mode, or removes the file the write created.
    void wroteShellFile(const std::string& path, bool existed, std::string before);
    // The install is done: the kept copies go.
    void commit();

    // The names our temporary files and kept copies get beside their file.
    static std::string keptName(const std::string& path);
    static bool isLeftover(std::string_view name);
    // name + ".tmp.<pid>.<random>", the atomic write's temporary file for `name`.
    static bool isTemporaryOf(std::string_view entry, std::string_view name);

private:
    enum class Kind { folder, created, kept, shellFile };
    struct Entry {
        Kind kind;
        std::string path;
        std::string kept{}; // Kind::kept: where the old item waits; "" when nothing stood there
        bool existed = false;
        std::string before{};
    };

    void rollBack() noexcept;

    const Paths& paths_;
    std::vector<Entry> entries_;
    bool committed_ = false;
};

} // namespace twinlantern
