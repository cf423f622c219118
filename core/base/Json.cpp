#include "core/base/Json.h"

namespace twinlantern {

std::string jsonText(const nlohmann::json& value) {
    // nlohmann's default object type is a std::map, so keys come out sorted.
    std::string text = value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    text.push_back('\n');
    return text;
}

} // namespace twinlantern
