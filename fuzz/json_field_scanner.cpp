// One line of arbitrary bytes through the field scanner.
#include "core/usage/JsonFieldScanner.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace twinlantern;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const JsonFieldScanner scanner({{"timestamp"},
                                           {"requestId"},
                                           {"message", "id"},
                                           {"message", "usage", "input_tokens"},
                                           {"message", "usage", "output_tokens"},
                                           {"a"},
                                           {"a", "b"},
                                           {}});
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const std::optional<JsonFieldScanner::Result> result = scanner.scan(line);
    if (result) {
        for (const auto& [path, value] : *result) {
            if (scanner.paths().count(path) == 0) {
                std::abort(); // only wanted paths are ever captured
            }
        }
    }
    // Captures reused from input to input find what a fresh scan finds.
    static JsonFieldScanner::Captures reused;
    if (scanner.scan(line, reused) != result.has_value()) {
        std::abort();
    }
    if (result) {
        std::size_t slot = 0;
        for (const auto& path : scanner.paths()) {
            const auto& found = reused.slots[slot++];
            const auto it = result->find(path);
            using Kind = JsonFieldScanner::Captured::Kind;
            const bool same =
                found.kind == Kind::none ? it == result->end()
                : found.kind == Kind::text
                    ? it != result->end() &&
                          it->second == JsonFieldScanner::Value(std::string(found.text))
                    : it != result->end() && it->second == JsonFieldScanner::Value(found.integer);
            if (!same) {
                std::abort();
            }
        }
    }
    // Against a strict parser: every valid object is accepted, and a plain string or
    // integer is read as that parser reads it. That parser stops at a NUL byte.
    if (line.find('\0') != std::string_view::npos) {
        return 0;
    }
    const auto doc = nlohmann::json::parse(line, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) {
        return 0;
    }
    if (!result) {
        std::abort();
    }
    const auto it = doc.find("timestamp");
    if (it == doc.end()) {
        return 0;
    }
    const auto found = result->find({"timestamp"});
    if (it->is_string() &&
        it->get_ref<const std::string&>().find_first_of("\\\"") == std::string::npos &&
        line.find('\\') == std::string_view::npos) {
        if (found == result->end() ||
            found->second != JsonFieldScanner::Value(it->get<std::string>())) {
            std::abort();
        }
    }
    if (it->is_number_integer() && !it->is_number_unsigned()) {
        if (found == result->end() ||
            found->second != JsonFieldScanner::Value(it->get<std::int64_t>())) {
            std::abort();
        }
    }
    return 0;
}
