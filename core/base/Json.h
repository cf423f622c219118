#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace twinlantern {

// Every JSON file the system writes: pretty-printed, keys sorted byte-wise,
// "/" never escaped, one final line feed.
std::string jsonText(const nlohmann::json& value);

} // namespace twinlantern
