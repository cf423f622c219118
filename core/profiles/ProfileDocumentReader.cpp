#include "core/profiles/ProfileDocumentReader.h"

#include "core/base/JsonDecode.h"
#include "core/base/Text.h"

#include <array>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>
#include <vector>

namespace twinlantern::ProfileDocumentReader {

namespace {

bool isWhitespace(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Bytes that stand for themselves inside a string: printable ASCII but '"' and '\\'.
constexpr auto plainStringByte = [] {
    std::array<bool, 256> table{};
    for (int c = 0x20; c < 0x80; ++c) {
        table[static_cast<std::size_t>(c)] = c != '"' && c != '\\';
    }
    return table;
}();

struct Number {
    bool isInteger = false; // no fraction or exponent, and within the 64-bit signed range
    std::int64_t value = 0;
};

// A strict, validating reader over the bytes. Syntax errors throw with the offset.
class Cursor {
public:
    explicit Cursor(std::string_view bytes)
        : begin_(bytes.data()), p_(bytes.data()), end_(bytes.data() + bytes.size()) {
        // A byte-order mark in front is tolerated, as JSON readers commonly do.
        if (bytes.starts_with("\xEF\xBB\xBF")) {
            p_ += 3;
        }
    }

    [[noreturn]] void syntaxError(const char* what) const {
        throw JsonDecodeError("the file isn't valid JSON (" + std::string(what) + " at byte " +
                              std::to_string(p_ - begin_) + ")");
    }

    void skipWhitespace() {
        while (p_ < end_ && isWhitespace(*p_)) {
            ++p_;
        }
    }
    bool atEnd() const { return p_ >= end_; }
    char peek() const { return p_ < end_ ? *p_ : '\0'; }

    void expectEnd() {
        skipWhitespace();
        if (!atEnd()) {
            syntaxError("unexpected text after the end");
        }
    }

    // What the next value is, for messages.
    std::string typeName() const {
        switch (peek()) {
        case '{':
            return "an object";
        case '[':
            return "an array";
        case '"':
            return "a string";
        case 't':
        case 'f':
            return "a boolean";
        case 'n':
            return "null";
        default:
            return "a number";
        }
    }

    bool atNull() const { return peek() == 'n'; }

    // Reads a string value, decoding escapes (out may be null to only validate).
    void string(std::string* out) {
        if (peek() != '"') {
            syntaxError("expected a string");
        }
        ++p_;
        for (;;) {
            const char* start = p_;
            while (p_ < end_ && plainStringByte[static_cast<unsigned char>(*p_)]) {
                ++p_;
            }
            if (out != nullptr) {
                out->append(start, static_cast<std::size_t>(p_ - start));
            }
            if (p_ >= end_) {
                syntaxError("unterminated string");
            }
            auto c = static_cast<unsigned char>(*p_);
            if (c == '"') {
                ++p_;
                return;
            }
            if (c < 0x20) {
                syntaxError("control character in a string");
            }
            if (c == '\\') {
                escape(out);
            } else {
                utf8Sequence(out);
            }
        }
    }

    Number number() {
        Number n;
        const char* start = p_;
        bool negative = false;
        if (peek() == '-') {
            negative = true;
            ++p_;
        }
        if (peek() == '0') {
            ++p_;
        } else if (peek() >= '1' && peek() <= '9') {
            while (peek() >= '0' && peek() <= '9') {
                ++p_;
            }
        } else {
            syntaxError("expected a value");
        }
        const char* intEnd = p_;
        bool fraction = false;
        if (peek() == '.') {
            fraction = true;
            ++p_;
            if (!(peek() >= '0' && peek() <= '9')) {
                syntaxError("expected a digit");
            }
            while (peek() >= '0' && peek() <= '9') {
                ++p_;
            }
        }
        if (peek() == 'e' || peek() == 'E') {
            fraction = true;
            ++p_;
            if (peek() == '+' || peek() == '-') {
                ++p_;
            }
            if (!(peek() >= '0' && peek() <= '9')) {
                syntaxError("expected a digit");
            }
            while (peek() >= '0' && peek() <= '9') {
                ++p_;
            }
        }
        if (fraction) {
            requireFinite(start);
            return n;
        }
        std::uint64_t magnitude = 0;
        constexpr std::uint64_t limit =
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
        for (const char* d = start + (negative ? 1 : 0); d < intEnd; ++d) {
            auto digit = static_cast<std::uint64_t>(*d - '0');
            if (magnitude > (limit + 1 - digit) / 10) {
                requireFinite(start); // beyond the 64-bit signed range: a double
                return n;
            }
            magnitude = magnitude * 10 + digit;
        }
        if (negative) {
            n.isInteger = true;
            n.value = magnitude == limit + 1 ? std::numeric_limits<std::int64_t>::min()
                                             : -static_cast<std::int64_t>(magnitude);
        } else if (magnitude <= limit) {
            n.isInteger = true;
            n.value = static_cast<std::int64_t>(magnitude);
        }
        return n;
    }

    // Validates and passes over one value of any depth, without recursion.
    void skipValue() {
        std::vector<char> open;
        for (;;) {
            skipWhitespace();
            switch (peek()) {
            case '{':
                ++p_;
                skipWhitespace();
                if (peek() == '}') {
                    ++p_;
                } else {
                    open.push_back('}');
                    key(nullptr);
                    continue;
                }
                break;
            case '[':
                ++p_;
                skipWhitespace();
                if (peek() == ']') {
                    ++p_;
                } else {
                    open.push_back(']');
                    continue;
                }
                break;
            default:
                scalar();
                break;
            }
            // After a value: close what ends here, or move to the next element.
            for (;;) {
                if (open.empty()) {
                    return;
                }
                skipWhitespace();
                if (peek() == ',') {
                    ++p_;
                    if (open.back() == '}') {
                        skipWhitespace();
                        key(nullptr);
                    }
                    break;
                }
                if (peek() == open.back()) {
                    ++p_;
                    open.pop_back();
                    continue;
                }
                syntaxError(open.back() == '}' ? "expected \",\" or \"}\""
                                               : "expected \",\" or \"]\"");
            }
        }
    }

    // Calls member(key) for each member of an object; member must consume the value.
    template <typename F> void object(F&& member) {
        ++p_; // "{"
        skipWhitespace();
        if (peek() == '}') {
            ++p_;
            return;
        }
        std::string name;
        for (;;) {
            skipWhitespace();
            name.clear();
            key(&name);
            skipWhitespace();
            member(name);
            skipWhitespace();
            if (peek() == ',') {
                ++p_;
                continue;
            }
            if (peek() == '}') {
                ++p_;
                return;
            }
            syntaxError("expected \",\" or \"}\"");
        }
    }

    // Calls element() for each element of an array; element must consume the value.
    template <typename F> void array(F&& element) {
        ++p_; // "["
        skipWhitespace();
        if (peek() == ']') {
            ++p_;
            return;
        }
        for (;;) {
            skipWhitespace();
            element();
            skipWhitespace();
            if (peek() == ',') {
                ++p_;
                continue;
            }
            if (peek() == ']') {
                ++p_;
                return;
            }
            syntaxError("expected \",\" or \"]\"");
        }
    }

private:
    // A number too large for a double is refused, as general JSON parsers do.
    void requireFinite(const char* start) const {
        static const locale_t cLocale =
            ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        const std::string token(start, p_);
        if (!std::isfinite(::strtod_l(token.c_str(), nullptr, cLocale))) {
            throw JsonDecodeError("the file isn't valid JSON (a number too large at byte " +
                                  std::to_string(start - begin_) + ")");
        }
    }

    void key(std::string* out) {
        string(out);
        skipWhitespace();
        if (peek() != ':') {
            syntaxError("expected \":\"");
        }
        ++p_;
    }

    void literal(const char* word) {
        std::size_t len = std::strlen(word);
        if (static_cast<std::size_t>(end_ - p_) < len || std::memcmp(p_, word, len) != 0) {
            syntaxError("expected a value");
        }
        p_ += len;
    }

    void scalar() {
        switch (peek()) {
        case '"':
            string(nullptr);
            break;
        case 't':
            literal("true");
            break;
        case 'f':
            literal("false");
            break;
        case 'n':
            literal("null");
            break;
        default:
            number();
            break;
        }
    }

    std::uint32_t hex4() {
        if (end_ - p_ < 4) {
            syntaxError("short \\u escape");
        }
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            int h = hexValue(p_[i]);
            if (h < 0) {
                syntaxError("bad \\u escape");
            }
            v = (v << 4) | static_cast<std::uint32_t>(h);
        }
        p_ += 4;
        return v;
    }

    void escape(std::string* out) {
        ++p_; // backslash
        if (p_ >= end_) {
            syntaxError("unterminated string");
        }
        char c = *p_++;
        char plain = 0;
        switch (c) {
        case '"':
            plain = '"';
            break;
        case '\\':
            plain = '\\';
            break;
        case '/':
            plain = '/';
            break;
        case 'b':
            plain = '\b';
            break;
        case 'f':
            plain = '\f';
            break;
        case 'n':
            plain = '\n';
            break;
        case 'r':
            plain = '\r';
            break;
        case 't':
            plain = '\t';
            break;
        case 'u': {
            std::uint32_t cp = hex4();
            if (cp >= 0xDC00 && cp <= 0xDFFF) {
                syntaxError("lone low surrogate");
            }
            if (cp >= 0xD800 && cp <= 0xDBFF) {
                if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') {
                    syntaxError("lone high surrogate");
                }
                p_ += 2;
                std::uint32_t low = hex4();
                if (low < 0xDC00 || low > 0xDFFF) {
                    syntaxError("lone high surrogate");
                }
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            }
            if (out != nullptr) {
                appendUtf8(*out, cp);
            }
            return;
        }
        default:
            --p_;
            syntaxError("bad escape");
        }
        if (out != nullptr) {
            out->push_back(plain);
        }
    }

    void utf8Sequence(std::string* out) {
        const std::size_t length = text::utf8SequenceLength(
            reinterpret_cast<const unsigned char*>(p_), static_cast<std::size_t>(end_ - p_));
        if (length == 0) {
            syntaxError("invalid UTF-8");
        }
        if (out != nullptr) {
            out->append(p_, length);
        }
        p_ += static_cast<std::ptrdiff_t>(length);
    }

    const char* begin_;
    const char* p_;
    const char* end_;
};

// A member whose check waits until its object is read, so that a later duplicate
// key decides, as it does for any JSON object.
struct StringField {
    enum class Kind { missing, null, string, other } kind = Kind::missing;
    std::string text;
    std::string otherType;

    void read(Cursor& c) {
        if (c.peek() == '"') {
            kind = Kind::string;
            text.clear();
            c.string(&text);
            return;
        }
        kind = c.atNull() ? Kind::null : Kind::other;
        otherType = c.typeName();
        c.skipValue();
    }
    bool present() const { return kind == Kind::string || kind == Kind::other; }
    // `what` names the member for the message; it is only called on failure.
    template <typename Name> std::string& require(Name&& what) {
        if (kind != Kind::string) {
            throw JsonDecodeError(std::string(what()) + " should be a string but is " + otherType);
        }
        return text;
    }
};

struct ToolsField {
    bool present = false;  // an array was given (not missing or null)
    std::string otherType; // when not an array, or an element is not a string
    std::vector<std::string> names;

    void read(Cursor& c) {
        otherType.clear();
        names.clear();
        if (c.peek() != '[') {
            present = !c.atNull();
            if (present) {
                otherType = c.typeName();
            }
            c.skipValue();
            return;
        }
        present = true;
        c.array([&] {
            if (c.peek() == '"') {
                names.emplace_back();
                c.string(&names.back());
            } else {
                if (otherType.empty()) {
                    otherType = "an array holding " + c.typeName();
                }
                c.skipValue();
            }
        });
    }
};

Profile readProfile(Cursor& c) {
    if (c.peek() != '{') {
        throw JsonDecodeError("a profile should be an object but is " + c.typeName());
    }
    StringField id, name, color, badge, storage;
    ToolsField tools;
    c.object([&](const std::string& key) {
        if (key == "id") {
            id.read(c);
        } else if (key == "name") {
            name.read(c);
        } else if (key == "color") {
            color.read(c);
        } else if (key == "badge") {
            badge.read(c);
        } else if (key == "tools") {
            tools.read(c);
        } else if (key == "storage") {
            storage.read(c);
        } else {
            c.skipValue();
        }
    });
    if (id.kind == StringField::Kind::missing) {
        throw JsonDecodeError("a profile has no \"id\"");
    }
    ProfileID pid(std::move(id.require([] { return "a profile's \"id\""; })));
    if (name.kind == StringField::Kind::missing) {
        throw JsonDecodeError("the profile \"" + pid.rawValue + "\" has no \"name\"");
    }
    auto at = [&pid] {
        return "the profile \"" + pid.rawValue + "\"";
    };
    std::string pname = std::move(name.require([&] { return at() + "'s \"name\""; }));

    ProfileColor pcolor = ProfileColor::graphite;
    if (color.present()) {
        const std::string& raw = color.require([&] { return at() + "'s \"color\""; });
        auto parsed = profileColorFromRawValue(raw);
        if (!parsed) {
            throw JsonDecodeError(at() + " has the unknown colour \"" + raw + "\"");
        }
        pcolor = *parsed;
    }
    std::optional<std::string> pbadge;
    if (badge.present()) {
        pbadge = std::move(badge.require([&] { return at() + "'s \"badge\""; }));
    }
    std::vector<ToolKind> ptools(allToolKinds.begin(), allToolKinds.end());
    if (tools.present) {
        if (!tools.otherType.empty()) {
            throw JsonDecodeError(at() + "'s \"tools\" should be an array of strings but is " +
                                  tools.otherType);
        }
        ptools.clear();
        for (const auto& raw : tools.names) {
            auto kind = toolKindFromRawValue(raw);
            if (!kind) {
                throw JsonDecodeError(at() + " has the unknown tool \"" + raw + "\"");
            }
            ptools.push_back(*kind);
        }
    }
    Profile::Storage pstorage = Profile::Storage::managed;
    if (storage.present()) {
        const std::string& raw = storage.require([&] { return at() + "'s \"storage\""; });
        auto parsed = storageFromRawValue(raw);
        if (!parsed) {
            throw JsonDecodeError(at() + " has the unknown storage \"" + raw + "\"");
        }
        pstorage = *parsed;
    }
    return Profile(std::move(pid), std::move(pname), pcolor, std::move(pbadge), std::move(ptools),
                   pstorage);
}

FolderRule readRule(Cursor& c) {
    if (c.peek() != '{') {
        throw JsonDecodeError("a rule should be an object but is " + c.typeName());
    }
    StringField path, profileID;
    c.object([&](const std::string& key) {
        if (key == "path") {
            path.read(c);
        } else if (key == "profileID") {
            profileID.read(c);
        } else {
            c.skipValue();
        }
    });
    if (path.kind == StringField::Kind::missing) {
        throw JsonDecodeError("a rule has no \"path\"");
    }
    if (profileID.kind == StringField::Kind::missing) {
        throw JsonDecodeError("a rule has no \"profileID\"");
    }
    return FolderRule(
        std::move(path.require([] { return "a rule's \"path\""; })),
        ProfileID(std::move(profileID.require([] { return "a rule's \"profileID\""; }))));
}

} // namespace

void checkSyntax(std::string_view bytes, std::optional<std::int64_t>& version) {
    version.reset();
    Cursor c(bytes);
    c.skipWhitespace();
    if (c.atEnd()) {
        c.syntaxError("no value");
    }
    if (c.peek() != '{') {
        c.skipValue();
        c.expectEnd();
        return;
    }
    c.object([&](const std::string& key) {
        if (key == "version" && c.peek() != '{' && c.peek() != '[' && c.peek() != '"' &&
            c.peek() != 't' && c.peek() != 'f' && c.peek() != 'n') {
            Number n = c.number();
            version = n.isInteger ? std::optional<std::int64_t>(n.value) : std::nullopt;
        } else {
            if (key == "version") {
                version.reset();
            }
            c.skipValue();
        }
    });
    c.expectEnd();
}

ProfileDocument decodeDocument(std::string_view bytes) {
    Cursor c(bytes);
    c.skipWhitespace();
    if (c.peek() != '{') {
        throw JsonDecodeError("the file should hold an object but holds " + c.typeName());
    }
    bool hasVersion = false;
    std::int64_t version = 0;
    std::string versionType;
    std::optional<std::vector<Profile>> profiles;
    std::optional<std::vector<FolderRule>> rules;
    std::string profilesType, rulesType;
    StringField cliDefault;
    c.object([&](const std::string& key) {
        if (key == "version") {
            versionType = c.typeName();
            if (versionType == "a number") {
                Number n = c.number();
                hasVersion = n.isInteger;
                version = n.value;
                versionType =
                    n.isInteger ? "" : "a number with a fraction, an exponent or too many digits";
            } else {
                hasVersion = false;
                c.skipValue();
            }
        } else if (key == "profiles") {
            profilesType = c.typeName();
            profiles.emplace();
            if (c.peek() == '[') {
                c.array([&] { profiles->push_back(readProfile(c)); });
            } else {
                c.skipValue();
            }
        } else if (key == "rules") {
            rulesType = c.typeName();
            rules.emplace();
            if (c.peek() == '[') {
                c.array([&] { rules->push_back(readRule(c)); });
            } else {
                c.skipValue();
            }
        } else if (key == "cliDefault") {
            cliDefault.read(c);
        } else {
            c.skipValue();
        }
    });
    c.expectEnd();

    if (versionType.empty() && !hasVersion) {
        throw JsonDecodeError("the document has no \"version\"");
    }
    if (!hasVersion) {
        throw JsonDecodeError("\"version\" should be an integer but is " + versionType);
    }
    if (!profiles) {
        throw JsonDecodeError("the document has no \"profiles\"");
    }
    if (profilesType != "an array") {
        throw JsonDecodeError("\"profiles\" should be an array but is " + profilesType);
    }
    if (!rules) {
        throw JsonDecodeError("the document has no \"rules\"");
    }
    if (rulesType != "an array") {
        throw JsonDecodeError("\"rules\" should be an array but is " + rulesType);
    }
    ProfileDocument document;
    document.version = version;
    document.profiles = std::move(*profiles);
    document.rules = std::move(*rules);
    if (cliDefault.present()) {
        document.cliDefault = ProfileID(cliDefault.require([] { return "\"cliDefault\""; }));
    }
    return document;
}

Profile decodeProfile(std::string_view bytes) {
    std::optional<std::int64_t> ignored;
    checkSyntax(bytes, ignored);
    Cursor c(bytes);
    c.skipWhitespace();
    return readProfile(c);
}

} // namespace twinlantern::ProfileDocumentReader
