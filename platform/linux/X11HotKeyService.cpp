#include "platform/KeyPositions.h"
#include "platform/linux/X11.h"
#include "platform/linux/Xcb.h"

// The XKB header names a member `explicit`, which C++ reserves.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wkeyword-macro"
#endif
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

#include <algorithm>
#include <map>
#include <set>
#include <vector>

namespace twinlantern::platform {

HotKeyService::Availability x11Environment(const Environment& environment) {
    auto value = [&](const char* name) {
        auto it = environment.find(name);
        return it == environment.end() ? std::string() : it->second;
    };
    if (!value("WAYLAND_DISPLAY").empty() || value("XDG_SESSION_TYPE") == "wayland") {
        return HotKeyService::Availability::wayland;
    }
    if (value("DISPLAY").empty()) {
        return HotKeyService::Availability::noDisplay;
    }
    return HotKeyService::Availability::available;
}

namespace {

constexpr xcb_keysym_t altLeft = 0xffe9, altRight = 0xffea;
constexpr xcb_keysym_t superLeft = 0xffeb, superRight = 0xffec;
constexpr xcb_keysym_t numLockSym = 0xff7f;

class X11HotKeyService final : public HotKeyService {
public:
    X11HotKeyService(MainLoop& loop, const Environment& environment) : loop_(loop) {
        availability_ = x11Environment(environment);
        if (availability_ != Availability::available) {
            return;
        }
        xcb::NoSigpipe guard;
        connection_.reset(xcb_connect(environment.at("DISPLAY").c_str(), nullptr));
        if (xcb_connection_has_error(connection_.get()) != 0 || !setUp()) {
            connection_.reset();
            availability_ = Availability::connectionFailed;
            return;
        }
        watch_ = loop_.watchReadable(xcb_get_file_descriptor(connection_.get()),
                                     [this] { readEvents(); });
    }

    ~X11HotKeyService() override {
        if (connection_ && availability_ == Availability::available) {
            xcb::NoSigpipe guard;
            for (const auto& [id, entry] : entries_) {
                ungrab(entry.keycode, entry.modifiers);
            }
            xcb_flush(connection_.get());
        }
    }

    Availability availability() const override { return availability_; }

    std::optional<Registration> add(std::uint32_t virtualKeyCode, std::uint32_t modifiers,
                                    std::function<void()> action) override {
        if (availability_ != Availability::available) {
            return std::nullopt;
        }
        auto keycode = xKeycodeForVirtualKey(virtualKeyCode);
        if (!keycode || *keycode > 255) {
            return std::nullopt;
        }
        const auto key = static_cast<xcb_keycode_t>(*keycode);
        const std::uint16_t mods = xModifiers(modifiers);
        // The server lets one client grab the same combination twice; we don't.
        for (const auto& [id, entry] : entries_) {
            if (entry.keycode == key && entry.modifiers == mods) {
                return std::nullopt;
            }
        }
        xcb::NoSigpipe guard;
        std::vector<std::pair<std::uint16_t, xcb_void_cookie_t>> cookies;
        for (std::uint16_t locks : lockCombinations()) {
            cookies.emplace_back(locks, xcb_grab_key_checked(connection_.get(), 1, root_,
                                                             mods | locks, key, XCB_GRAB_MODE_ASYNC,
                                                             XCB_GRAB_MODE_ASYNC));
        }
        std::vector<std::uint16_t> grabbed;
        bool refused = false;
        for (const auto& [locks, cookie] : cookies) {
            xcb::Owned<xcb_generic_error_t> error(xcb_request_check(connection_.get(), cookie));
            if (error) {
                refused = true;
            } else {
                grabbed.push_back(locks);
            }
        }
        // Replies may have brought events along; they wait in the library's queue,
        // where the descriptor's readiness won't show them.
        scheduleRead();
        if (refused || lost()) {
            for (std::uint16_t locks : grabbed) {
                xcb_ungrab_key(connection_.get(), key, root_, mods | locks);
            }
            sync();
            return std::nullopt;
        }
        const Registration id = nextId_++;
        entries_.emplace(
            id, Entry{key, mods, std::make_shared<std::function<void()>>(std::move(action))});
        return id;
    }

    void remove(Registration registration) override {
        auto it = entries_.find(registration);
        if (it == entries_.end()) {
            return;
        }
        const Entry entry = it->second;
        entries_.erase(it);
        if (availability_ != Availability::available) {
            return;
        }
        xcb::NoSigpipe guard;
        ungrab(entry.keycode, entry.modifiers);
        // Done when we return: another client may grab it next.
        sync();
        scheduleRead();
    }

private:
    struct Entry {
        xcb_keycode_t keycode;
        std::uint16_t modifiers;
        std::shared_ptr<std::function<void()>> action;
    };

    bool setUp() {
        xcb_connection_t* c = connection_.get();
        const xcb_setup_t* setup = xcb_get_setup(c);
        auto screen = xcb_setup_roots_iterator(setup);
        if (screen.rem == 0) {
            return false;
        }
        root_ = screen.data->root;

        // Repeats of a held key arrive as presses without releases, so they can be
        // told from new presses.
        xcb::Owned<xcb_xkb_use_extension_reply_t> xkb(
            xcb_xkb_use_extension_reply(c, xcb_xkb_use_extension(c, 1, 0), nullptr));
        if (xkb && xkb->supported) {
            const std::uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
            xcb::Owned<xcb_xkb_per_client_flags_reply_t> flags(xcb_xkb_per_client_flags_reply(
                c, xcb_xkb_per_client_flags(c, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0),
                nullptr));
        }
        readModifierMapping();
        return xcb_connection_has_error(c) == 0;
    }

    // Which of Mod1..Mod5 carry Alt, Super and Num Lock on this server.
    void readModifierMapping() {
        xcb_connection_t* c = connection_.get();
        const xcb_setup_t* setup = xcb_get_setup(c);
        const xcb_keycode_t first = setup->min_keycode;
        const int count = setup->max_keycode - setup->min_keycode + 1;
        xcb::Owned<xcb_get_modifier_mapping_reply_t> modmap(
            xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
        xcb::Owned<xcb_get_keyboard_mapping_reply_t> keymap(xcb_get_keyboard_mapping_reply(
            c, xcb_get_keyboard_mapping(c, first, static_cast<std::uint8_t>(count)), nullptr));
        if (modmap && keymap && keymap->keysyms_per_keycode > 0) {
            const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(modmap.get());
            const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(keymap.get());
            const int symCount = xcb_get_keyboard_mapping_keysyms_length(keymap.get());
            const int perCode = keymap->keysyms_per_keycode;
            const int perModifier = modmap->keycodes_per_modifier;
            auto has = [&](xcb_keycode_t code, std::initializer_list<xcb_keysym_t> wanted) {
                if (code < first) {
                    return false;
                }
                for (int k = 0; k < perCode; ++k) {
                    const int at = (code - first) * perCode + k;
                    if (at < symCount &&
                        std::find(wanted.begin(), wanted.end(), syms[at]) != wanted.end()) {
                        return true;
                    }
                }
                return false;
            };
            // Rows 3..7 are Mod1..Mod5; the first row holding the key wins.
            for (int row = 7; row >= 3; --row) {
                for (int k = 0; k < perModifier; ++k) {
                    const xcb_keycode_t code = codes[row * perModifier + k];
                    const auto bit = static_cast<std::uint16_t>(1u << row);
                    if (has(code, {altLeft, altRight})) {
                        alt_ = bit;
                    }
                    if (has(code, {superLeft, superRight})) {
                        super_ = bit;
                    }
                    if (has(code, {numLockSym})) {
                        numLock_ = bit;
                    }
                }
            }
        }
    }

    std::uint16_t xModifiers(std::uint32_t carbon) const {
        std::uint16_t mods = 0;
        if (carbon & modifier::control) {
            mods |= XCB_MOD_MASK_CONTROL;
        }
        if (carbon & modifier::shift) {
            mods |= XCB_MOD_MASK_SHIFT;
        }
        if (carbon & modifier::option) {
            mods |= alt_;
        }
        if (carbon & modifier::command) {
            mods |= super_;
        }
        return mods;
    }

    // The combination must fire whatever Caps Lock and Num Lock are.
    std::vector<std::uint16_t> lockCombinations() const {
        std::set<std::uint16_t> all;
        for (std::uint16_t caps : {std::uint16_t{0}, std::uint16_t{XCB_MOD_MASK_LOCK}}) {
            for (std::uint16_t num : {std::uint16_t{0}, numLock_}) {
                all.insert(static_cast<std::uint16_t>(caps | num));
            }
        }
        return {all.begin(), all.end()};
    }

    void ungrab(xcb_keycode_t key, std::uint16_t mods) {
        for (std::uint16_t locks : lockCombinations()) {
            xcb_ungrab_key(connection_.get(), key, root_, mods | locks);
        }
    }

    // A round trip: everything sent before it has been handled by the server.
    void sync() {
        xcb::Owned<xcb_get_input_focus_reply_t> reply(xcb_get_input_focus_reply(
            connection_.get(), xcb_get_input_focus(connection_.get()), nullptr));
    }

    bool lost() const { return xcb_connection_has_error(connection_.get()) != 0; }

    void scheduleRead() {
        if (!queuedRead_) {
            queuedRead_ = loop_.postAfter(MainLoop::Duration::zero(), [this] {
                queuedRead_ = {};
                readEvents();
            });
        }
    }

    void readEvents() {
        if (availability_ != Availability::available) {
            return;
        }
        const std::uint16_t relevant = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT | alt_ | super_;
        while (availability_ == Availability::available) {
            xcb::Owned<xcb_generic_event_t> event(xcb_poll_for_event(connection_.get()));
            if (!event) {
                break;
            }
            const std::uint8_t type = event->response_type & 0x7f;
            if (type == XCB_KEY_RELEASE) {
                held_.erase(reinterpret_cast<xcb_key_release_event_t*>(event.get())->detail);
            } else if (type == XCB_KEY_PRESS) {
                auto* press = reinterpret_cast<xcb_key_press_event_t*>(event.get());
                if (!held_.insert(press->detail).second) {
                    continue; // a repeat of a key still down
                }
                const std::uint16_t mods = press->state & relevant;
                for (const auto& [id, entry] : entries_) {
                    if (entry.keycode == press->detail && entry.modifiers == mods) {
                        // The action may remove its own registration.
                        auto action = entry.action;
                        (*action)();
                        break;
                    }
                }
            }
        }
        if (availability_ == Availability::available && lost()) {
            // The server is gone: stop watching a descriptor that stays readable.
            availability_ = Availability::connectionLost;
            held_.clear();
            watch_.reset();
        }
    }

    MainLoop& loop_;
    Availability availability_ = Availability::connectionFailed;
    xcb::Connection connection_;
    xcb_window_t root_ = 0;
    std::uint16_t alt_ = XCB_MOD_MASK_1;
    std::uint16_t super_ = XCB_MOD_MASK_4;
    std::uint16_t numLock_ = XCB_MOD_MASK_2;
    std::map<Registration, Entry> entries_;
    Registration nextId_ = 1;
    std::set<xcb_keycode_t> held_;
    MainLoop::Handle queuedRead_;
    MainLoop::Handle watch_;
};

} // namespace

std::unique_ptr<HotKeyService> makeHotKeyService(MainLoop& loop, const Environment& environment) {
    return std::make_unique<X11HotKeyService>(loop, environment);
}

} // namespace twinlantern::platform
