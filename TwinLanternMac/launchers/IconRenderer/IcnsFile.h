#pragma once

#include <array>
#include <string>
#include <vector>

namespace twinlantern {

// One image of an icon file: its four-letter type and the size it is drawn at.
struct IcnsRow {
    const char* type;
    int pixels;
};

// Every size a launcher icon carries, each drawn on its own (32, 256 and 512 twice: once
// as a size, once as the retina form of half that size).
inline constexpr std::array<IcnsRow, 10> icnsRows = {{
    {"icp4", 16},
    {"ic11", 32},
    {"icp5", 32},
    {"ic12", 64},
    {"ic07", 128},
    {"ic13", 256},
    {"ic08", 256},
    {"ic14", 512},
    {"ic09", 512},
    {"ic10", 1024},
}};

struct IcnsElement {
    std::string type; // four bytes
    std::string data;
};

// "icns" and the file's length, a table of contents ("TOC ": each element's type and
// length), then the elements in the given order; every length big-endian and counting
// its own 8-byte header.
std::string icnsContainer(const std::vector<IcnsElement>& elements);

} // namespace twinlantern
