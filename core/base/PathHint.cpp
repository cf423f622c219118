#include "core/base/PathHint.h"

#include "core/base/FileUtil.h"
#include "core/base/Text.h"

#include <string_view>

namespace twinlantern {

namespace {

constexpr std::size_t hintLimit = 64 * 1024;

bool isTrimmed(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

std::optional<std::string> readPathHint(const std::string& file) {
    ReadResult read = readWholeFile(file, hintLimit);
    if (!read.bytes || !text::isValidUtf8(*read.bytes)) {
        return std::nullopt;
    }
    std::string_view text = *read.bytes;
    while (!text.empty() && isTrimmed(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isTrimmed(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

} // namespace twinlantern
