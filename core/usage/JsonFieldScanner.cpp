#include "core/usage/JsonFieldScanner.h"

#include "core/base/Utf8Replacing.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace twinlantern {

namespace {

bool isSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Bytes that end a scalar where a value is parsed, and where one is skipped.
bool endsParsedScalar(unsigned char c) {
    return c == ',' || c == '}' || c == ']' || isSpace(c);
}
bool endsSkippedScalar(unsigned char c) {
    return c == ',' || c == '}' || c == ']';
}

bool isAscii(std::string_view bytes) {
    // Eight bytes at a time: none may have its top bit set.
    std::size_t i = 0;
    std::uint64_t high = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes.data() + i, 8);
        high |= word;
    }
    for (; i < bytes.size(); ++i) {
        high |= static_cast<unsigned char>(bytes[i]);
    }
    return (high & 0x8080808080808080u) == 0;
}

// Each two-byte sequence from, left to right and not overlapping, becomes the byte to.
void replaceInPlace(std::string& text, char second, char to) {
    std::size_t w = 0;
    for (std::size_t r = 0; r < text.size(); ++w) {
        if (text[r] == '\\' && r + 1 < text.size() && text[r + 1] == second) {
            text[w] = to;
            r += 2;
        } else {
            text[w] = text[r++];
        }
    }
    text.resize(w);
}

// The text of a string's raw bytes: a view of them when nothing needs decoding,
// else decoded into storage (whose room is reused from line to line).
std::string_view decodeString(std::string_view raw, bool escaped, std::string& storage) {
    const bool ascii = isAscii(raw);
    if (ascii && !escaped) {
        return raw;
    }
    if (ascii) {
        storage.assign(raw);
    } else {
        storage = utf8Replacing(raw);
    }
    if (escaped) {
        replaceInPlace(storage, '"', '"');
        replaceInPlace(storage, '\\', '\\');
    }
    return storage;
}

std::optional<std::int64_t> integerToken(std::string_view token) {
    std::string_view digits = token;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
        negative = digits[0] == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty()) {
        return std::nullopt;
    }
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    // Parse with the sign attached so that the most negative value fits.
    std::string_view body = negative ? token : digits;
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(body.data(), body.data() + body.size(), value);
    if (error != std::errc() || end != body.data() + body.size()) {
        return std::nullopt;
    }
    return value;
}

locale_t cLocale() {
    static locale_t locale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

// A C-locale floating-point text, truncated toward zero; nothing when it is not
// finite or outside the 64-bit range. Bytes beyond ASCII never belong to one.
std::optional<std::int64_t> floatingToken(std::string_view token) {
    if (token.empty() || std::isspace(static_cast<unsigned char>(token[0])) != 0 ||
        !isAscii(token)) {
        return std::nullopt;
    }
    const locale_t locale = cLocale();
    if (locale == static_cast<locale_t>(nullptr)) {
        return std::nullopt;
    }
    // Terminated for strtod; a token too long for the stack buffer is rare.
    char small[64];
    std::string large;
    const char* text = small;
    if (token.size() < sizeof small) {
        std::memcpy(small, token.data(), token.size());
        small[token.size()] = '\0';
    } else {
        large.assign(token);
        text = large.c_str();
    }
    char* end = nullptr;
    double value = ::strtod_l(text, &end, locale);
    if (end != text + token.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(value);
}

// The first double quote or backslash in [p, end), or null.
const char* quoteOrBackslash(const char* p, const char* end) {
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"'), slash = _mm_set1_epi8('\\');
    for (; end - p >= 16; p += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int mask =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(x, quote), _mm_cmpeq_epi8(x, slash)));
        if (mask != 0) {
            return p + __builtin_ctz(static_cast<unsigned>(mask));
        }
    }
#endif
    for (; p < end; ++p) {
        if (*p == '"' || *p == '\\') {
            return p;
        }
    }
    return nullptr;
}

} // namespace

struct JsonFieldScanner::State {
    const char* bytes;
    std::size_t count;
    std::size_t index = 0;
    bool complete = true;

    bool atEnd() const { return index >= count; }
    unsigned char current() const { return static_cast<unsigned char>(bytes[index]); }
    // Steps past the byte under the index when it is c.
    bool take(char c) {
        if (index < count && bytes[index] == c) {
            ++index;
            return true;
        }
        return false;
    }
    // False at the end of the line.
    bool skipSpace() {
        while (index < count && isSpace(current())) {
            ++index;
        }
        return index < count;
    }

    // The index is on the opening quote. On success the index is past the closing
    // quote and raw holds the bytes between the quotes.
    bool readRaw(std::string_view& raw, bool& escaped) {
        std::size_t start = ++index;
        escaped = false;
        while (const char* hit = quoteOrBackslash(bytes + index, bytes + count)) {
            index = static_cast<std::size_t>(hit - bytes);
            if (*hit == '"') {
                raw = std::string_view(bytes + start, index - start);
                ++index;
                return true;
            }
            escaped = true;
            index += 2; // the backslash and the byte after it, whatever that is
            if (index >= count) {
                break;
            }
        }
        index = count;
        complete = false;
        return false;
    }

    bool skipValue() {
        if (!skipSpace()) {
            return false;
        }
        unsigned char c = current();
        if (c == '"') {
            std::string_view raw;
            bool escaped = false;
            return readRaw(raw, escaped);
        }
        if (c == '{' || c == '[') {
            return skipBrackets();
        }
        std::size_t start = index;
        while (index < count && !endsSkippedScalar(current())) {
            ++index;
        }
        return index > start;
    }

    // Counts brackets of either kind from the opening one; strings are passed over.
    bool skipBrackets() {
        std::size_t depth = 0;
        while (index < count) {
            switch (current()) {
            case '{':
            case '[':
                ++depth;
                break;
            case '}':
            case ']':
                if (--depth == 0) {
                    ++index;
                    return true;
                }
                break;
            case '"': {
                std::string_view raw;
                bool escaped = false;
                if (!readRaw(raw, escaped)) {
                    return false;
                }
                continue;
            }
            default:
                break;
            }
            ++index;
        }
        return false;
    }
};

JsonFieldScanner::JsonFieldScanner(std::set<KeyPath> paths) : paths_(std::move(paths)) {
    nodes_.emplace_back();
    std::size_t slot = 0;
    for (const KeyPath& path : paths_) {
        std::size_t node = 0;
        KeyPath prefix;
        prefixes_.insert(prefix);
        for (const std::string& key : path) {
            prefix.push_back(key);
            prefixes_.insert(prefix);
            std::size_t child = childOf(node, key);
            if (child == npos) {
                nodes_.emplace_back();
                child = nodes_.size() - 1;
                nodes_[node].children.emplace_back(key, child);
            }
            node = child;
        }
        nodes_[node].slot = slot++;
    }
}

std::size_t JsonFieldScanner::childOf(std::size_t node, std::string_view key) const {
    for (const auto& [name, child] : nodes_[node].children) {
        if (name.size() == key.size() && std::memcmp(name.data(), key.data(), key.size()) == 0) {
            return child;
        }
    }
    return npos;
}

std::size_t JsonFieldScanner::slotOf(const KeyPath& path) const {
    auto it = paths_.find(path);
    return it == paths_.end() ? paths_.size()
                              : static_cast<std::size_t>(std::distance(paths_.begin(), it));
}

std::optional<JsonFieldScanner::Result> JsonFieldScanner::scan(std::string_view line) const {
    Captures captures;
    if (!scan(line, captures)) {
        return std::nullopt;
    }
    Result result;
    std::size_t slot = 0;
    for (const KeyPath& path : paths_) {
        const Captured& found = captures.slots[slot++];
        if (found.kind == Captured::Kind::text) {
            result.emplace(path, std::string(found.text));
        } else if (found.kind == Captured::Kind::integer) {
            result.emplace(path, found.integer);
        }
    }
    return result;
}

bool JsonFieldScanner::scan(std::string_view line, Captures& captures) const {
    captures.slots.resize(paths_.size());
    for (Captured& slot : captures.slots) {
        slot.kind = Captured::Kind::none;
    }
    State state{line.data(), line.size()};
    if (!state.skipSpace() || state.current() != '{') {
        return false;
    }
    if (!parseObject(state, 0, captures) || !state.complete) {
        return false;
    }
    return !state.skipSpace();
}

bool JsonFieldScanner::parseValue(State& state, std::size_t node, Captures& out) const {
    if (!state.skipSpace()) {
        return false;
    }
    const Node& here = nodes_[node];
    unsigned char c = state.current();
    if (c == '"') {
        std::string_view raw;
        bool escaped = false;
        if (!state.readRaw(raw, escaped)) {
            return false;
        }
        if (here.slot != npos) {
            Captured& slot = out.slots[here.slot];
            slot.text = decodeString(raw, escaped, slot.storage);
            slot.kind = Captured::Kind::text;
        }
        return true;
    }
    if (c == '[') {
        ++state.index;
        if (!state.skipSpace()) {
            return false;
        }
        if (state.take(']')) {
            return true;
        }
        while (true) {
            if (!state.skipValue() || !state.skipSpace()) {
                return false;
            }
            if (state.take(']')) {
                return true;
            }
            if (!state.take(',')) {
                return false;
            }
        }
    }
    if (c == '{') {
        return parseObject(state, node, out);
    }
    std::size_t start = state.index;
    while (state.index < state.count && !endsParsedScalar(state.current())) {
        ++state.index;
    }
    if (state.index == start) {
        return false;
    }
    if (here.slot != npos) {
        // Only ASCII can form a number, so the token's bytes are read as they are.
        std::string_view token(state.bytes + start, state.index - start);
        std::optional<std::int64_t> number = integerToken(token);
        if (!number) {
            number = floatingToken(token);
        }
        if (number) {
            Captured& slot = out.slots[here.slot];
            slot.integer = *number;
            slot.kind = Captured::Kind::integer;
        }
    }
    return true;
}

bool JsonFieldScanner::parseObject(State& state, std::size_t node, Captures& out) const {
    ++state.index;
    if (!state.skipSpace()) {
        return false;
    }
    if (state.take('}')) {
        return true;
    }
    while (true) {
        if (!state.skipSpace() || state.current() != '"') {
            return false;
        }
        std::string_view key;
        bool escaped = false;
        if (!state.readRaw(key, escaped)) {
            return false;
        }
        key = decodeString(key, escaped, out.key);
        if (!state.skipSpace() || !state.take(':')) {
            return false;
        }
        const std::size_t child = childOf(node, key);
        bool ok = child != npos ? parseValue(state, child, out) : state.skipValue();
        if (!ok || !state.skipSpace()) {
            return false;
        }
        if (state.take('}')) {
            return true;
        }
        if (!state.take(',') || !state.skipSpace()) {
            return false;
        }
    }
}

} // namespace twinlantern
