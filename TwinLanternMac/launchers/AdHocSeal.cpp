#include "TwinLanternMac/launchers/AdHocSeal.h"

#include "core/base/FileUtil.h"
#include "core/base/PropertyList.h"
#include "core/base/Sha256.h"
#include "core/base/TwinLanternError.h"
#include "core/base/UniqueFd.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

namespace twinlantern {

namespace {

// A launcher binary is a few megabytes; the icon file less.
constexpr std::size_t maxSealedFileBytes = 512u << 20;

const char* const sealFolder = "_CodeSignature";

// Regular files below folder, as paths relative to it.
void listFiles(const std::string& folder, const std::string& relative,
               std::vector<std::string>& out) {
    const std::string path = relative.empty() ? folder : folder + "/" + relative;
    UniqueDir dir(opendir(path.c_str()));
    if (!dir) {
        throw TwinLanternError::ioErrno("read " + path, errno);
    }
    errno = 0;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        const std::string child = relative.empty() ? name : relative + "/" + name;
        struct stat st {};
        if (lstat((folder + "/" + child).c_str(), &st) != 0) {
            throw TwinLanternError::ioErrno("read " + folder + "/" + child, errno);
        }
        if (S_ISDIR(st.st_mode)) {
            listFiles(folder, child, out);
        } else if (S_ISREG(st.st_mode)) {
            out.push_back(child);
        }
        errno = 0;
    }
    if (errno != 0) {
        throw TwinLanternError::ioErrno("read " + path, errno);
    }
}

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};

} // namespace

void sealBundle(const std::string& bundlePath) {
    const std::string contents = bundlePath + "/Contents";
    const std::string sealPath = contents + "/" + sealFolder + "/CodeResources";
    std::vector<std::string> files;
    listFiles(contents, "", files);
    std::erase(files, std::string(sealFolder) + "/CodeResources");
    std::sort(files.begin(), files.end());

    std::unique_ptr<std::remove_pointer_t<plist_t>, PlistFree> root(plist_new_dict());
    plist_t files2 = plist_new_dict();
    plist_dict_set_item(root.get(), "files2", files2);
    for (const std::string& file : files) {
        const std::string path = contents + "/" + file;
        const ReadResult read = readWholeFile(path, maxSealedFileBytes);
        if (!read.bytes) {
            throw TwinLanternError::ioErrno("read " + path, read.error);
        }
        const std::optional<Sha256Digest> digest = sha256Digest(*read.bytes);
        if (!digest) {
            throw TwinLanternError::ioErrno("read " + path, EIO);
        }
        plist_t entry = plist_new_dict();
        plist_dict_set_item(
            entry, "hash2",
            plist_new_data(reinterpret_cast<const char*>(digest->data()), digest->size()));
        plist_dict_set_item(files2, file.c_str(), entry);
    }
    const std::string xml = propertyListXml(root.get());
    if (xml.empty()) {
        throw TwinLanternError::ioErrno("write " + sealPath, EIO);
    }
    const std::string folder = contents + "/" + sealFolder;
    if (mkdir(folder.c_str(), 0755) == 0) {
        chmod(folder.c_str(), 0755);
    } else if (errno != EEXIST) {
        throw TwinLanternError::ioErrno("write " + sealPath, errno);
    }
    if (auto failure = writeFileAtomically(sealPath, xml, 0644)) {
        throw TwinLanternError::ioErrno("write " + sealPath, failure->error);
    }
}

} // namespace twinlantern
