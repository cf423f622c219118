#pragma once

#include "core/base/Paths.h"
#include "platform/MainLoop.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace twinlantern::platform {

// Modifier bits of stored shortcuts.
namespace modifier {
constexpr std::uint32_t command = 0x100;
constexpr std::uint32_t shift = 0x200;
constexpr std::uint32_t option = 0x800;
constexpr std::uint32_t control = 0x1000;
} // namespace modifier

// System-wide shortcuts: a combination pressed in any application runs an action on
// the main loop's thread, once per press. Called on that thread only.
class HotKeyService {
public:
    enum class Availability {
        available,
        noDisplay,        // no DISPLAY
        wayland,          // a Wayland session, where no client may grab keys
        connectionFailed, // the X server could not be reached
        connectionLost,   // it went away; nothing is delivered any more
    };
    using Registration = std::uint64_t;

    virtual ~HotKeyService() = default;
    virtual Availability availability() const = 0;
    // `virtualKeyCode` and `modifiers` as stored. Nothing when the combination can't be
    // had: another client holds it, this process already does, the key has no
    // position here, or the service is unavailable. Nothing is left behind then.
    virtual std::optional<Registration> add(std::uint32_t virtualKeyCode, std::uint32_t modifiers,
                                            std::function<void()> action) = 0;
    // Releases the combination; an unknown or removed registration is ignored.
    virtual void remove(Registration registration) = 0;
};

// The hot keys of this machine: key grabs on the X server of `environment`'s DISPLAY,
// delivered through `loop`. The loop must outlive the service, and the service its
// registrations' owners.
std::unique_ptr<HotKeyService> makeHotKeyService(MainLoop& loop, const Environment& environment);

} // namespace twinlantern::platform
