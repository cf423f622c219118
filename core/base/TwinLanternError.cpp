#include "core/base/TwinLanternError.h"

#include <cstring>

namespace twinlantern {

namespace {
constexpr const char* lq = "\u201C";
constexpr const char* rq = "\u201D";
} // namespace

TwinLanternError::TwinLanternError(Kind kind, std::string text, std::string detail,
                                   std::int64_t code)
    : kind_(kind), text_(std::move(text)), detail_(std::move(detail)), code_(code) {
    switch (kind_) {
    case Kind::invalidProfile:
    case Kind::invalidRule:
    case Kind::io:
    case Kind::unsupported:
    case Kind::keychain:
        description_ = text_;
        break;
    case Kind::profileNotFound:
        description_ = std::string("There's no profile called ") + lq + text_ + rq +
                       ". Run `twinlantern profile list` to see them.";
        break;
    case Kind::storeCorrupt:
        description_ = "Couldn't read " + text_ + ": " + detail_;
        break;
    case Kind::storeTooNew:
        description_ = "Your profiles were saved by a newer version of TwinLantern (format " +
                       std::to_string(code_) + "). Update TwinLantern to change them.";
        break;
    case Kind::unsafeDeletion:
        description_ = "Refused to delete " + text_ +
                       " because it isn't inside TwinLantern's own data folder.";
        break;
    }
}

TwinLanternError TwinLanternError::invalidProfile(std::string message) {
    return {Kind::invalidProfile, std::move(message), {}, 0};
}
TwinLanternError TwinLanternError::invalidRule(std::string message) {
    return {Kind::invalidRule, std::move(message), {}, 0};
}
TwinLanternError TwinLanternError::profileNotFound(std::string name) {
    return {Kind::profileNotFound, std::move(name), {}, 0};
}
TwinLanternError TwinLanternError::storeCorrupt(std::string path, std::string detail) {
    return {Kind::storeCorrupt, std::move(path), std::move(detail), 0};
}
TwinLanternError TwinLanternError::storeTooNew(std::int64_t version) {
    return {Kind::storeTooNew, {}, {}, version};
}
TwinLanternError TwinLanternError::io(std::string message) {
    return {Kind::io, std::move(message), {}, 0};
}
TwinLanternError TwinLanternError::ioErrno(const std::string& what, int err) {
    return io("Couldn't " + what + ": " + std::strerror(err));
}
TwinLanternError TwinLanternError::unsafeDeletion(std::string path) {
    return {Kind::unsafeDeletion, std::move(path), {}, 0};
}
TwinLanternError TwinLanternError::unsupported(std::string message) {
    return {Kind::unsupported, std::move(message), {}, 0};
}
TwinLanternError TwinLanternError::keychain(std::int32_t status, std::string message) {
    return {Kind::keychain, std::move(message), {}, status};
}

} // namespace twinlantern
