// Arbitrary bytes as profiles.json: the store's reader never crashes, agrees with a
// general JSON parser on what is JSON, and what it accepts survives a write and read.
#include "core/base/Json.h"
#include "core/base/JsonDecode.h"
#include "core/profiles/ProfileDocumentReader.h"
#include "core/profiles/ProfileStore.h"
#include "core/base/TwinLanternError.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace twinlantern;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::optional<std::int64_t> version;
    bool syntaxOk = true;
    try {
        ProfileDocumentReader::checkSyntax(bytes, version);
    } catch (const JsonDecodeError&) {
        syntaxOk = false;
    }
    // The general parser stops at a NUL byte, so only compare inputs without one.
    if (bytes.find('\0') == std::string_view::npos && syntaxOk != nlohmann::json::accept(bytes)) {
        std::abort();
    }
    try {
        ProfileDocument document = ProfileStore::decode(bytes, "/fuzz/profiles.json");
        if (!syntaxOk) {
            std::abort(); // a document out of bytes that are not JSON
        }
        const std::string written = jsonText(nlohmann::json(document));
        if (!(ProfileStore::decode(written, "/fuzz/profiles.json") == document)) {
            std::abort();
        }
    } catch (const TwinLanternError&) {
    }
    return 0;
}
