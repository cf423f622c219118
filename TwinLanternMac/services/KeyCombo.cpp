#include "TwinLanternMac/services/KeyCombo.h"

#include "core/base/JsonDecode.h"
#include "core/base/Text.h"

#include <limits>
#include <utility>

namespace twinlantern {

std::optional<KeyCombo> KeyCombo::fromEvent(const KeyEvent& event) {
    const std::uint64_t flags = event.modifierFlags;
    if ((flags & (KeyEvent::commandFlag | KeyEvent::optionFlag | KeyEvent::controlFlag)) == 0) {
        return std::nullopt;
    }
    std::uint32_t modifiers = 0;
    if (flags & KeyEvent::commandFlag) {
        modifiers |= cmdKey;
    }
    if (flags & KeyEvent::optionFlag) {
        modifiers |= optionKey;
    }
    if (flags & KeyEvent::controlFlag) {
        modifiers |= controlKey;
    }
    if (flags & KeyEvent::shiftFlag) {
        modifiers |= shiftKey;
    }
    return KeyCombo{event.keyCode, modifiers};
}

std::string KeyCombo::display(const platform::KeyboardLayout& layout) const {
    std::string text;
    if (modifiers & controlKey) {
        text += "⌃";
    }
    if (modifiers & optionKey) {
        text += "⌥";
    }
    if (modifiers & shiftKey) {
        text += "⇧";
    }
    if (modifiers & cmdKey) {
        text += "⌘";
    }
    return text + keyName(keyCode, layout);
}

namespace {

constexpr std::pair<std::uint32_t, const char*> fixedNames[] = {
    {49, "Space"}, {36, "↩"},  {48, "⇥"},  {53, "⎋"},  {51, "⌫"},
    {123, "←"},    {124, "→"}, {126, "↑"}, {125, "↓"},
};

// No keyboard produces a larger code.
constexpr std::uint32_t largestKeyCode = 65535;

// Return types "\r", Escape "\x1b": no name to show.
bool onlyControlCharacters(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const auto* p = reinterpret_cast<const unsigned char*>(text.data() + at);
        const std::size_t length = text::utf8SequenceLength(p, text.size() - at);
        if (length == 0) {
            return true; // not text at all
        }
        const bool control = (length == 1 && (p[0] < 0x20 || p[0] == 0x7f)) ||
                             (length == 2 && p[0] == 0xc2 && p[1] < 0xa0);
        if (!control) {
            return false;
        }
        at += length;
    }
    return true;
}

std::uint32_t unsignedField(const nlohmann::json& object, const char* key) {
    const nlohmann::json& value = json_decode::required(object, key, "the shortcut");
    if (!value.is_number_unsigned() ||
        value.get<std::uint64_t>() > std::numeric_limits<std::uint32_t>::max()) {
        std::string what = json_decode::typeName(value);
        if (value.is_number_integer()) {
            what = value.dump();
        }
        throw JsonDecodeError(std::string("the shortcut's \"") + key +
                              "\" should be an unsigned 32-bit integer but is " + what);
    }
    return value.get<std::uint32_t>();
}

} // namespace

std::string KeyCombo::keyName(std::uint32_t keyCode, const platform::KeyboardLayout& layout) {
    for (const auto& [code, name] : fixedNames) {
        if (code == keyCode) {
            return name;
        }
    }
    if (keyCode <= largestKeyCode) {
        auto characters = layout.characters(keyCode);
        if (characters && !characters->empty() && !onlyControlCharacters(*characters)) {
            return text::uppercased(*characters);
        }
    }
    // Appended, not `"#" + ...`: GCC 12 at -O3 takes that for an overlapping copy.
    std::string name = "#";
    name += std::to_string(keyCode);
    return name;
}

nlohmann::json KeyCombo::toJson() const {
    return nlohmann::json{{"keyCode", keyCode}, {"modifiers", modifiers}};
}

KeyCombo KeyCombo::fromJson(const nlohmann::json& json) {
    return KeyCombo{unsignedField(json, "keyCode"), unsignedField(json, "modifiers")};
}

} // namespace twinlantern
