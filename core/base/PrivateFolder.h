#pragma once

#include "core/base/UniqueFd.h"

#include <string>

namespace twinlantern {

// A folder only this user can change: a real folder at path (not a link there), owned
// by this user, that neither its group nor others may write. A missing one is made 0700
// with its missing parents (0700 too; existing parents are left as they are).
// Gives its descriptor, so that files are made in the folder that was checked. Throws
// TwinLanternError: "Couldn't create <path>: <reason>" when it can't be made or opened,
// "Couldn't use <path>: <why>." when it is not private.
UniqueFd openPrivateFolder(const std::string& path);

} // namespace twinlantern
