#pragma once

#include "platform/KeyboardLayout.h"

#include <map>
#include <vector>

namespace twinlantern::platform::test {

// A layout that types what the test says, and remembers which keys it was asked about.
class FakeKeyboardLayout final : public KeyboardLayout {
public:
    std::map<std::uint32_t, std::string> keys;
    mutable std::vector<std::uint32_t> asked;

    std::optional<std::string> characters(std::uint32_t virtualKeyCode) const override {
        asked.push_back(virtualKeyCode);
        auto it = keys.find(virtualKeyCode);
        if (it == keys.end()) {
            return std::nullopt;
        }
        return it->second;
    }
};

} // namespace twinlantern::platform::test
