#pragma once

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

// Exports are small; a file past this is not one, and reading it would only fill memory.
constexpr std::size_t maxImportBytes = 16u << 20;

// Never blocks: a FIFO named x.json returns at once.
ImportRead readImportFile(const std::string& path);

} // namespace twinlantern::ui
