#pragma once

#include "core/base/Paths.h"
#include "core/profiles/ProfileDocument.h"

#include <optional>
#include <string>

namespace twinlantern {

// What the shims read before they resolve: the working folder and the profiles.
// `twinlantern which` reads them through the same functions, so the two never disagree.
namespace ShimInputs {

// The physical working folder, or the shell's logical PWD when it names the same place.
// A folder too deep for a fixed buffer is read whole.
std::string workingFolder(const Environment& environment);

struct Document {
    // Why there is no document: the shims then run the real tools unchanged.
    enum class Absent { no, disabled, appRemoved, unreadable };

    std::optional<ProfileDocument> document;
    Absent absent = Absent::no;
    std::string error; // unreadable: the store's message
};

// Nothing with TWINLANTERN_DISABLE=1, once the app recorded in app-path is gone, or when
// the profiles file can't be read. Never throws.
Document load(const Paths& paths, const Environment& environment);

} // namespace ShimInputs
} // namespace twinlantern
