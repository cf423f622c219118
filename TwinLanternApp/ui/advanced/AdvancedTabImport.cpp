#include "TwinLanternApp/ui/advanced/AdvancedTabImport.h"

#include "core/base/FileUtil.h"

#include <cerrno>
#include <utility>

namespace twinlantern::ui {

ImportRead readImportFile(const std::string& path) {
    // openRegularFile underneath: O_NONBLOCK, fstat, regular files only, size checked first.
    ReadResult read = readWholeFile(path, maxImportBytes);
    if (read.bytes) {
        return {ImportRead::Kind::bytes, std::move(*read.bytes)};
    }
    if (read.error == EFBIG) {
        return {ImportRead::Kind::tooLarge, {}};
    }
    return {ImportRead::Kind::ignored, {}};
}

} // namespace twinlantern::ui
