#include "core/base/PrivateFolder.h"

#include "core/base/FileUtil.h"
#include "core/base/TwinLanternError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace twinlantern {

namespace {

UniqueFd openFolder(const std::string& path) {
    return UniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

[[noreturn]] void refuse(const std::string& path, const char* why) {
    throw TwinLanternError::io("Couldn't use " + path + ": " + why + ".");
}

} // namespace

UniqueFd openPrivateFolder(const std::string& path) {
    UniqueFd fd = openFolder(path);
    if (!fd && errno == ENOENT) {
        if (!makeDirectories(path, 0700)) {
            throw TwinLanternError::ioErrno("create " + path, errno);
        }
        fd = openFolder(path);
    }
    if (!fd) {
        const int error = errno;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            refuse(path, "it is a symbolic link");
        }
        throw TwinLanternError::ioErrno("create " + path, error);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        throw TwinLanternError::ioErrno("create " + path, errno);
    }
    if (st.st_uid != ::geteuid()) {
        refuse(path, "it belongs to another user");
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        refuse(path, "other users may write to it");
    }
    return fd;
}

} // namespace twinlantern
