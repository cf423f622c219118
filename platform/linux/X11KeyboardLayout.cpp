#include "platform/KeyPositions.h"
#include "platform/linux/X11.h"
#include "platform/linux/Xcb.h"

#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

namespace twinlantern::platform {

namespace {

struct UnrefContext {
    void operator()(xkb_context* p) const { xkb_context_unref(p); }
};
struct UnrefKeymap {
    void operator()(xkb_keymap* p) const { xkb_keymap_unref(p); }
};
struct UnrefState {
    void operator()(xkb_state* p) const { xkb_state_unref(p); }
};

class X11KeyboardLayout final : public KeyboardLayout {
public:
    explicit X11KeyboardLayout(std::string display) : display_(std::move(display)) {}

    std::optional<std::string> characters(std::uint32_t virtualKeyCode) const override {
        auto keycode = xKeycodeForVirtualKey(virtualKeyCode);
        if (!keycode || display_.empty()) {
            return std::nullopt;
        }
        xcb::NoSigpipe guard;
        // The layout can change at any time; it is read afresh for each name.
        xcb::Connection connection(xcb_connect(display_.c_str(), nullptr));
        xcb_connection_t* c = connection.get();
        if (xcb_connection_has_error(c) != 0 ||
            xkb_x11_setup_xkb_extension(
                c, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr) != 1) {
            return std::nullopt;
        }
        const std::int32_t device = xkb_x11_get_core_keyboard_device_id(c);
        std::unique_ptr<xkb_context, UnrefContext> context(
            xkb_context_new(static_cast<xkb_context_flags>(XKB_CONTEXT_NO_DEFAULT_INCLUDES |
                                                           XKB_CONTEXT_NO_ENVIRONMENT_NAMES)));
        if (device < 0 || !context) {
            return std::nullopt;
        }
        xkb_context_set_log_level(context.get(), XKB_LOG_LEVEL_CRITICAL);
        std::unique_ptr<xkb_keymap, UnrefKeymap> keymap(
            xkb_x11_keymap_new_from_device(context.get(), c, device, XKB_KEYMAP_COMPILE_NO_FLAGS));
        if (!keymap) {
            return std::nullopt;
        }
        // The server's current group, with every modifier off.
        std::unique_ptr<xkb_state, UnrefState> current(
            xkb_x11_state_new_from_device(keymap.get(), c, device));
        std::unique_ptr<xkb_state, UnrefState> plain(xkb_state_new(keymap.get()));
        if (!current || !plain) {
            return std::nullopt;
        }
        const xkb_layout_index_t group =
            xkb_state_serialize_layout(current.get(), XKB_STATE_LAYOUT_EFFECTIVE);
        xkb_state_update_mask(plain.get(), 0, 0, 0, 0, 0, group);
        char text[64] = {};
        const int length = xkb_state_key_get_utf8(plain.get(), *keycode, text, sizeof text);
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof text) {
            return std::nullopt;
        }
        return std::string(text, static_cast<std::size_t>(length));
    }

private:
    std::string display_;
};

} // namespace

std::unique_ptr<KeyboardLayout> makeKeyboardLayout(const Environment& environment) {
    auto it = environment.find("DISPLAY");
    return std::make_unique<X11KeyboardLayout>(it == environment.end() ? "" : it->second);
}

} // namespace twinlantern::platform
