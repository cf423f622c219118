#include "TwinLanternMac/launchers/IconRenderer/IcnsFile.h"

#include <algorithm>
#include <cstdint>

namespace twinlantern {

namespace {

void appendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

void appendHeader(std::string& out, const std::string& type, std::size_t length) {
    out.append(type, 0, 4);
    out.append(4 - std::min<std::size_t>(4, type.size()), ' ');
    appendBigEndian(out, static_cast<std::uint32_t>(length));
}

} // namespace

std::string icnsContainer(const std::vector<IcnsElement>& elements) {
    const std::size_t tocLength = 8 + 8 * elements.size();
    std::size_t total = 8 + tocLength;
    for (const IcnsElement& e : elements) {
        total += 8 + e.data.size();
    }
    std::string out;
    out.reserve(total);
    appendHeader(out, "icns", total);
    appendHeader(out, "TOC ", tocLength);
    for (const IcnsElement& e : elements) {
        appendHeader(out, e.type, 8 + e.data.size());
    }
    for (const IcnsElement& e : elements) {
        appendHeader(out, e.type, 8 + e.data.size());
        out += e.data;
    }
    return out;
}

} // namespace twinlantern
