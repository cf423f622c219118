#pragma once

#include <map>
#include <string>

namespace twinlantern::testing {

// What a bundle's ad-hoc seal lists: path under Contents -> hex of its hash2. A test
// failure, and nothing, when there is no seal or it is malformed.
std::map<std::string, std::string> sealedFiles(const std::string& bundle);

// SHA-256 of a file in hex, by the system's sha256sum: a second opinion on ours.
std::string sha256sum(const std::string& path);

} // namespace twinlantern::testing
