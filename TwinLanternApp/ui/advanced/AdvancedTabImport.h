#pragma once

#include "core/profiles/ProfileStore.h"

#include <cstddef>
#include <string>

namespace twinlantern::ui {

// What the import panel's file gave.
struct ImportRead {
    enum class Kind {
        bytes,    // the whole file
        ignored,  // unreadable, or not a regular file (a FIFO, a device, a folder)
        tooLarge, // no export is this big: the model's not-an-export alert
    };
    Kind kind = Kind::ignored;
    std::string bytes;
};

// The store's own limit: an export is a profiles file, so one past it is not ours, and
// its profiles could never be saved.
constexpr std::size_t maxImportBytes = ProfileStore::maxFileBytes;

// Never blocks: a FIFO named x.json returns at once.
ImportRead readImportFile(const std::string& path);

} // namespace twinlantern::ui
