#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace twinlantern {

// The one error users see: what() is the exact sentence shown to them.
class TwinLanternError : public std::exception {
public:
    enum class Kind {
        invalidProfile,
        invalidRule,
        profileNotFound,
        storeCorrupt,
        storeTooNew,
        io,
        unsafeDeletion,
        unsupported,
        keychain,
    };

    static TwinLanternError invalidProfile(std::string message);
    static TwinLanternError invalidRule(std::string message);
    static TwinLanternError profileNotFound(std::string name);
    static TwinLanternError storeCorrupt(std::string path, std::string detail);
    static TwinLanternError storeTooNew(std::int64_t version);
    static TwinLanternError io(std::string message);
    // "Couldn't <what>: <strerror(err)>"
    static TwinLanternError ioErrno(const std::string& what, int err);
    static TwinLanternError unsafeDeletion(std::string path);
    static TwinLanternError unsupported(std::string message);
    // The secret store words its own failures (keychainError in core/tools/KeychainStatus.h).
    static TwinLanternError keychain(std::int32_t status, std::string message);

    Kind kind() const { return kind_; }
    // The case's payload: message, name, path (storeCorrupt, unsafeDeletion).
    const std::string& text() const { return text_; }
    const std::string& detail() const { return detail_; }
    // storeTooNew's version, keychain's status.
    std::int64_t code() const { return code_; }

    const char* what() const noexcept override { return description_.c_str(); }
    const std::string& description() const { return description_; }

    friend bool operator==(const TwinLanternError& a, const TwinLanternError& b) {
        return a.kind_ == b.kind_ && a.text_ == b.text_ && a.detail_ == b.detail_ &&
               a.code_ == b.code_;
    }

private:
    TwinLanternError(Kind kind, std::string text, std::string detail, std::int64_t code);

    Kind kind_;
    std::string text_;
    std::string detail_;
    std::int64_t code_ = 0;
    std::string description_;
};

} // namespace twinlantern
