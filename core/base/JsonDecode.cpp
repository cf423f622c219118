#include "core/base/JsonDecode.h"

namespace twinlantern::json_decode {

std::string typeName(const nlohmann::json& value) {
    switch (value.type()) {
    case nlohmann::json::value_t::null:
        return "null";
    case nlohmann::json::value_t::object:
        return "an object";
    case nlohmann::json::value_t::array:
        return "an array";
    case nlohmann::json::value_t::string:
        return "a string";
    case nlohmann::json::value_t::boolean:
        return "a boolean";
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned:
        return "an integer";
    case nlohmann::json::value_t::number_float:
        return "a number";
    default:
        return "an unexpected value";
    }
}

const nlohmann::json* member(const nlohmann::json& object, const char* key,
                             const std::string& where) {
    if (!object.is_object()) {
        throw JsonDecodeError(where + " should be an object but is " + typeName(object));
    }
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

const nlohmann::json& required(const nlohmann::json& object, const char* key,
                               const std::string& where) {
    const nlohmann::json* value = member(object, key, where);
    if (value == nullptr) {
        throw JsonDecodeError(where + " has no \"" + key + "\"");
    }
    return *value;
}

std::string string(const nlohmann::json& value, const std::string& where) {
    if (!value.is_string()) {
        throw JsonDecodeError(where + " should be a string but is " + typeName(value));
    }
    return value.get<std::string>();
}

} // namespace twinlantern::json_decode
