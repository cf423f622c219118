#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace twinlantern {

// Path strings shared by every program, so "the same folder" means one thing.
namespace PathUtil {

std::string normalize(std::string_view path,
                      std::optional<std::string_view> relativeTo = std::nullopt);
std::string expandTilde(std::string_view path, std::string_view home);
std::optional<std::string> realPath(const std::string& path);
std::string parent(std::string_view path);
// `folder` (normalised) and a relative `tail`, with one slash between them, also at the root.
std::string join(std::string_view folder, std::string_view tail);
std::size_t componentCount(std::string_view path);
// The text after the last "/" once trailing slashes are dropped: /a/b/ gives b, b gives b.
std::string lastComponent(std::string_view path);
bool isSameOrInside(std::string_view path, std::string_view ancestor, bool caseSensitive);
bool isCaseSensitiveVolume(const std::string& path);
bool isRegularFile(const std::string& path);
bool isDirectory(const std::string& path);
bool isExecutableFile(const std::string& path);

// Answers for one existing path whether its volume compares names case-sensitively,
// or nothing when it cannot tell (the path does not exist).
using CaseProbe = std::function<std::optional<bool>(const std::string& path)>;
// The probe of this machine: ext4 casefold flag, FAT/exFAT/NTFS by file-system type.
std::optional<bool> systemCaseProbe(const std::string& path);
// Tests replace the probe; an empty function restores the system's.
void setCaseProbe(CaseProbe probe);

} // namespace PathUtil
} // namespace twinlantern
