#pragma once

#include "platform/HotKeyService.h"

#include <map>
#include <set>
#include <utility>

namespace twinlantern::platform::test {

// Hot keys without a display server: the test says which combinations other
// applications hold and presses keys itself. Actions run at once, on the caller's
// thread, as the loop would run them.
class FakeHotKeyService final : public HotKeyService {
public:
    using Combination = std::pair<std::uint32_t, std::uint32_t>; // key code, modifiers

    Availability state = Availability::available;
    std::set<Combination> heldElsewhere;

    Availability availability() const override { return state; }

    std::optional<Registration> add(std::uint32_t virtualKeyCode, std::uint32_t modifiers,
                                    std::function<void()> action) override {
        const Combination combination{virtualKeyCode, modifiers};
        if (state != Availability::available || heldElsewhere.contains(combination)) {
            return std::nullopt;
        }
        for (const auto& [id, entry] : registrations_) {
            if (entry.first == combination) {
                return std::nullopt;
            }
        }
        registrations_.emplace(nextId_, std::make_pair(combination, std::move(action)));
        return nextId_++;
    }

    void remove(Registration registration) override { registrations_.erase(registration); }

    // A press of the combination; whether a registration took it.
    bool press(std::uint32_t virtualKeyCode, std::uint32_t modifiers) {
        for (auto& [id, entry] : registrations_) {
            if (entry.first == Combination{virtualKeyCode, modifiers}) {
                auto action = entry.second; // it may remove its own registration
                action();
                return true;
            }
        }
        return false;
    }
    std::size_t registered() const { return registrations_.size(); }

private:
    std::map<Registration, std::pair<Combination, std::function<void()>>> registrations_;
    Registration nextId_ = 1;
};

} // namespace twinlantern::platform::test
