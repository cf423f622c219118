#pragma once

#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>

namespace twinlantern {

// A document's shape is wrong; the message says where and how.
class JsonDecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace json_decode {

// "a string", "a number", ... for messages.
std::string typeName(const nlohmann::json& value);

// The member, or nullptr when missing. Throws when `object` is not an object.
const nlohmann::json* member(const nlohmann::json& object, const char* key,
                             const std::string& where);
const nlohmann::json& required(const nlohmann::json& object, const char* key,
                               const std::string& where);
std::string string(const nlohmann::json& value, const std::string& where);

} // namespace json_decode
} // namespace twinlantern
