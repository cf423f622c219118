#include "core/base/FileUtil.h"
#include "core/base/Json.h"
#include "core/base/PathUtil.h"
#include "core/base/Sha256.h"
#include "core/base/Text.h"
#include "core/base/TwinLanternError.h"
#include "core/base/UniqueFd.h"
#include "core/shell/ShellIntegration.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace twinlantern {

namespace {

constexpr std::size_t maxStateBytes = 4u << 20;

int copyContents(const std::string& source, const std::string& destination) {
    const OpenedFile in = openRegularFile(source, SIZE_MAX);
    if (!in.fd) {
        return in.error;
    }
    ::unlink(destination.c_str());
    UniqueFd out(
        ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0700));
    if (!out) {
        return errno;
    }
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(in.fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            break;
        }
        if (!writeAll(out.get(), std::string_view(buffer, static_cast<std::size_t>(n)))) {
            return errno;
        }
    }
    if (::fsync(out.get()) != 0 || out.close() != 0) {
        return errno;
    }
    return 0;
}

} // namespace

std::string ShellIntegration::read(const std::string& path) const {
    // Only regular files are shell files: a pipe would block the read, and a device
    // would be replaced by the write that follows.
    ReadResult r = readWholeFile(path, maxFileBytes);
    if (!r.bytes) {
        throw TwinLanternError::ioErrno("read " + paths.abbreviate(path), r.error);
    }
    if (!text::isValidUtf8(*r.bytes)) {
        throw TwinLanternError::ioErrno("read " + paths.abbreviate(path), EILSEQ);
    }
    return std::move(*r.bytes);
}

std::string ShellIntegration::sha256(std::string_view text) {
    return sha256Hex(text);
}

void ShellIntegration::createDirectory(const std::string& path) const {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (!error && !std::filesystem::is_directory(path, error) && !error) {
        error = std::make_error_code(std::errc::file_exists);
    }
    if (error) {
        throw TwinLanternError::ioErrno("create " + paths.abbreviate(path), error.value());
    }
}

void ShellIntegration::copyAtomically(const std::string& source,
                                      const std::string& destination) const {
    const std::string temporary = destination + ".tmp." + std::to_string(::getpid());
    if (int err = copyContents(source, temporary); err != 0) {
        ::unlink(temporary.c_str());
        throw TwinLanternError::ioErrno("install " + paths.abbreviate(destination), err);
    }
    ::chmod(temporary.c_str(), 0755);
    if (::rename(temporary.c_str(), destination.c_str()) != 0) {
        int err = errno;
        ::unlink(temporary.c_str());
        throw TwinLanternError::ioErrno("install " + paths.abbreviate(destination), err);
    }
}

void ShellIntegration::symlink(const std::string& link, const std::string& destination) const {
    std::error_code error;
    auto status = std::filesystem::symlink_status(link, error);
    if (!error && std::filesystem::is_symlink(status)) {
        if (std::filesystem::read_symlink(link, error).string() == destination && !error) {
            return;
        }
    }
    std::filesystem::remove_all(link, error);
    if (::symlink(destination.c_str(), link.c_str()) != 0) {
        throw TwinLanternError::ioErrno("create " + paths.abbreviate(link), errno);
    }
}

void ShellIntegration::write(std::string_view text, const std::string& path, mode_t newMode) const {
    if (const int err = writeFileThroughLinks(path, text, newMode); err != 0) {
        // Through a link the cause is about the file it names, so say which.
        std::string what = paths.abbreviate(path);
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            const std::optional<std::string> target = finalLinkTarget(path);
            what += " (a link to " +
                    (target ? paths.abbreviate(PathUtil::normalize(*target)) : std::string("?")) +
                    ")";
        }
        throw TwinLanternError::ioErrno("write " + what, err);
    }
}

void ShellIntegration::removeFile(const std::string& path) const {
    // A file we created through a dangling link goes; the link stays as it was.
    int err = 0;
    const std::optional<std::string> target = finalLinkTarget(path, &err);
    if (target && ::remove(target->c_str()) != 0) {
        err = errno;
    }
    if (err != 0) {
        throw TwinLanternError::ioErrno("remove " + paths.abbreviate(path), err);
    }
}

std::string ShellIntegration::timestamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y%m%d-%H%M%S", &local);
    return buffer;
}

std::optional<ShellIntegration::InstallState> ShellIntegration::loadState() const {
    ReadResult r = readWholeFile(stateFile(), maxStateBytes);
    if (!r.bytes) {
        return std::nullopt;
    }
    return decodeInstallState(*r.bytes);
}

void ShellIntegration::saveState(const InstallState& state) const {
    write(installStateText(state), stateFile());
}

std::string installStateText(const ShellIntegration::InstallState& state) {
    nlohmann::json files = nlohmann::json::array();
    for (const auto& record : state.files) {
        nlohmann::json file = {{"path", record.path},
                               {"existedBefore", record.existedBefore},
                               {"addedNewline", record.addedNewline},
                               {"installedSHA256", record.installedSHA256}};
        if (record.backupPath) {
            file["backupPath"] = *record.backupPath;
        }
        files.push_back(std::move(file));
    }
    nlohmann::json root = {{"version", state.version}, {"files", std::move(files)}};
    if (state.installedAt) {
        root["installedAt"] = *state.installedAt;
    }
    return jsonText(root);
}

std::optional<ShellIntegration::InstallState> decodeInstallState(std::string_view text) {
    nlohmann::json root = nlohmann::json::parse(text, nullptr, false);
    if (!root.is_object()) {
        return std::nullopt;
    }
    auto stringAt = [](const nlohmann::json& object, const char* key) -> const std::string* {
        auto it = object.find(key);
        return it != object.end() && it->is_string() ? it->get_ptr<const std::string*>() : nullptr;
    };
    auto boolAt = [](const nlohmann::json& object, const char* key) -> std::optional<bool> {
        auto it = object.find(key);
        return it != object.end() && it->is_boolean() ? std::optional(it->get<bool>())
                                                      : std::nullopt;
    };
    auto version = root.find("version");
    auto files = root.find("files");
    if (version == root.end() || !version->is_number_integer() || files == root.end() ||
        !files->is_array()) {
        return std::nullopt;
    }
    ShellIntegration::InstallState state;
    state.version = version->get<std::int64_t>();
    if (auto it = root.find("installedAt"); it != root.end()) {
        if (!it->is_string()) {
            return std::nullopt;
        }
        state.installedAt = it->get<std::string>();
    }
    for (const auto& file : *files) {
        if (!file.is_object()) {
            return std::nullopt;
        }
        const std::string* path = stringAt(file, "path");
        const std::string* digest = stringAt(file, "installedSHA256");
        auto existedBefore = boolAt(file, "existedBefore");
        auto addedNewline = boolAt(file, "addedNewline");
        if (path == nullptr || digest == nullptr || !existedBefore || !addedNewline) {
            return std::nullopt;
        }
        ShellIntegration::InstallState::FileRecord record{*path, *existedBefore, std::nullopt,
                                                          *addedNewline, *digest};
        if (auto it = file.find("backupPath"); it != file.end()) {
            if (!it->is_string()) {
                return std::nullopt;
            }
            record.backupPath = it->get<std::string>();
        }
        state.files.push_back(std::move(record));
    }
    return state;
}

} // namespace twinlantern
