#pragma once

#include "core/profiles/ProfileDocument.h"

#include <cstdint>
#include <optional>
#include <string_view>

// Reads the profiles file straight into its values. Every shim run reads it, so
// this is one strict pass over the bytes with no intermediate JSON tree.
namespace twinlantern::ProfileDocumentReader {

// Whether the bytes are one valid JSON text (RFC 8259, UTF-8). When they are and hold
// an object with an integer "version", that version is put in `version`.
// On a syntax error, throws JsonDecodeError saying where.
void checkSyntax(std::string_view bytes, std::optional<std::int64_t>& version);

// The document, or JsonDecodeError naming what is missing or of the wrong type.
ProfileDocument decodeDocument(std::string_view bytes);
Profile decodeProfile(std::string_view bytes);

} // namespace twinlantern::ProfileDocumentReader
