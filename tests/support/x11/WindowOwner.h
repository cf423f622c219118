#pragma once

#include <poll.h>
#include <sys/types.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

namespace twinlantern::testing {

// A client of the test's X server that owns a window claiming a pid and watches the root
// for client messages, as a window manager would.
class WindowOwner {
public:
    WindowOwner(const std::string& display, pid_t pid, bool listed) {
        c_ = xcb_connect(display.c_str(), nullptr);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        root_ = screen->root;
        const uint32_t rootMask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &rootMask);
        decoy_ = makeWindow(screen, static_cast<std::uint32_t>(pid) + 1);
        window_ = makeWindow(screen, static_cast<std::uint32_t>(pid));
        if (listed) {
            const xcb_window_t list[] = {decoy_, window_};
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, root_, atom("_NET_CLIENT_LIST"),
                                XCB_ATOM_WINDOW, 32, 2, list);
        }
        xcb_aux_sync();
    }
    ~WindowOwner() { xcb_disconnect(c_); }

    xcb_window_t window() const { return window_; }

    // The window of the first _NET_ACTIVE_WINDOW message within the time; 0 for none.
    xcb_window_t activeWindowRequest(std::chrono::milliseconds timeout) {
        const xcb_atom_t active = atom("_NET_ACTIVE_WINDOW");
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
                xcb_window_t found = 0;
                if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                    const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                    if (message->type == active) {
                        found = message->window;
                    }
                }
                std::free(event);
                if (found != 0) {
                    return found;
                }
            }
            pollfd fd{xcb_get_file_descriptor(c_), POLLIN, 0};
            ::poll(&fd, 1, 20);
        }
        return 0;
    }

private:
    xcb_atom_t atom(const char* name) {
        auto* reply = xcb_intern_atom_reply(
            c_, xcb_intern_atom(c_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = reply->atom;
        std::free(reply);
        return a;
    }
    xcb_window_t makeWindow(const xcb_screen_t* screen, std::uint32_t pid) {
        const xcb_window_t w = xcb_generate_id(c_);
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, 10, 10, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL,
                            32, 1, &pid);
        return w;
    }
    void xcb_aux_sync() {
        std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
    }

    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_window_t decoy_ = 0;
    xcb_window_t window_ = 0;
};

} // namespace twinlantern::testing
