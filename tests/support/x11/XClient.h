#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <initializer_list>
#include <string>

namespace twinlantern::testing {

// Another client of the X server: presses keys through XTest, as a user would, and
// grabs keys as another application would.
class XClient {
public:
    // X keycodes (evdev + 8) of a PC keyboard with the server's default keymap.
    static constexpr std::uint8_t controlKey = 37, altKey = 64, shiftKey = 50, superKey = 133,
                                  capsLockKey = 66, numLockKey = 77, kKey = 45;
    static constexpr std::uint16_t altMask = XCB_MOD_MASK_1;

    explicit XClient(const std::string& display);
    ~XClient();
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    bool connected() const;
    void press(std::uint8_t keycode);
    void release(std::uint8_t keycode);
    // Presses the keys in order, then releases them in reverse.
    void tap(std::initializer_list<std::uint8_t> keys);
    // Toggles a lock (Caps Lock, Num Lock) with one press and release.
    void toggle(std::uint8_t lockKey) { tap({lockKey}); }
    // The server has handled everything sent so far.
    void sync();
    // Whether the server granted the grab on the root window.
    bool grab(std::uint8_t keycode, std::uint16_t modifiers);
    std::uint16_t lockState(); // the keyboard's modifier state as the server keeps it

private:
    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
};

} // namespace twinlantern::testing
