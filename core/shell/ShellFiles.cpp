#include "core/base/FileUtil.h"
#include "core/base/Json.h"
#include "core/base/PathUtil.h"
#include "core/shell/ShellIntegration.h"
#include "core/base/Text.h"
#include "core/base/TwinLanternError.h"
#include "core/base/UniqueFd.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>

namespace twinlantern {

namespace {

// Shell files are small; a file past this is refused rather than read into memory.
constexpr std::size_t maxShellFileBytes = 16u << 20;
constexpr std::size_t maxStateBytes = 4u << 20;

// Writes bytes to a new file created private, so a 0600 file's text is never readable
// by others in between; the caller sets the final mode.
int writePrivateFile(const std::string& path, std::string_view bytes) {
    ::unlink(path.c_str());
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) {
        return errno;
    }
    if (!writeAll(fd.get(), bytes) || ::fsync(fd.get()) != 0) {
        return errno;
    }
    if (fd.close() != 0) {
        return errno;
    }
    return 0;
}

int copyContents(const std::string& source, const std::string& destination) {
    UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!in) {
        return errno;
    }
    struct stat st {};
    if (::fstat(in.get(), &st) != 0) {
        return errno;
    }
    if (S_ISDIR(st.st_mode)) {
        return EISDIR;
    }
    ::unlink(destination.c_str());
    UniqueFd out(
        ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0700));
    if (!out) {
        return errno;
    }
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(in.get(), buffer, sizeof buffer);
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
    // A pipe would block the read and a device would be replaced by the write that
    // follows, so only regular files are shell files.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        throw TwinLanternError::ioErrno("read " + paths.abbreviate(path),
                                        S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    }
    ReadResult r = readWholeFile(path, maxShellFileBytes);
    if (!r.bytes) {
        throw TwinLanternError::ioErrno("read " + paths.abbreviate(path), r.error);
    }
    if (!text::isValidUtf8(*r.bytes)) {
        throw TwinLanternError::ioErrno("read " + paths.abbreviate(path), EILSEQ);
    }
    return std::move(*r.bytes);
}

std::string ShellIntegration::sha256(std::string_view text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), text.data(), text.size()) != 1 ||
        EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
        return {}; // matches no digest, so removal never trusts an unknown file
    }
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 0xf];
    }
    return out;
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
    const std::string target = PathUtil::realPath(path).value_or(path);
    struct stat st {};
    const mode_t mode = ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : newMode;
    const std::string temporary = PathUtil::parent(target) + "/." +
                                  PathUtil::lastComponent(target) + ".twinlantern-tmp." +
                                  std::to_string(::getpid());
    int err = writePrivateFile(temporary, text);
    if (err == 0) {
        ::chmod(temporary.c_str(), mode);
        if (::rename(temporary.c_str(), target.c_str()) != 0) {
            err = errno;
        }
    }
    if (err != 0) {
        ::unlink(temporary.c_str());
        throw TwinLanternError::ioErrno("write " + paths.abbreviate(path), err);
    }
}

void ShellIntegration::removeFile(const std::string& path) const {
    if (::remove(path.c_str()) != 0) {
        throw TwinLanternError::ioErrno("remove " + paths.abbreviate(path), errno);
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
