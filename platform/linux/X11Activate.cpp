#include "platform/linux/LinuxWorkspace.h"
#include "platform/linux/Xcb.h"

#include <cstring>
#include <vector>

namespace twinlantern::platform {

namespace {

using xcb::Owned;

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    const Owned<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// The 32-bit values of a property; empty when it is missing or of another format.
std::vector<std::uint32_t> cardinals(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property,
                                     xcb_atom_t type) {
    const Owned<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, property, type, 0, 4096), nullptr));
    if (!reply || reply->format != 32) {
        return {};
    }
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    return std::vector<std::uint32_t>(values, values + count);
}

std::vector<xcb_window_t> topLevelWindows(xcb_connection_t* c, xcb_window_t root,
                                          xcb_atom_t clientList) {
    auto windows = cardinals(c, root, clientList, XCB_ATOM_WINDOW);
    if (!windows.empty()) {
        return windows;
    }
    // No window manager keeps the list: the root's children are the top-level windows.
    const Owned<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
    if (!tree) {
        return {};
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    return std::vector<xcb_window_t>(children,
                                     children + xcb_query_tree_children_length(tree.get()));
}

} // namespace

void activateX11WindowOf(pid_t pid, const std::string& display) {
    const xcb::NoSigpipe guard;
    int screenNumber = 0;
    const xcb::Connection connection(xcb_connect(display.c_str(), &screenNumber));
    xcb_connection_t* c = connection.get();
    if (c == nullptr || xcb_connection_has_error(c) != 0) {
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        return;
    }
    const xcb_window_t root = screens.data->root;
    const xcb_atom_t clientList = atom(c, "_NET_CLIENT_LIST");
    const xcb_atom_t wmPid = atom(c, "_NET_WM_PID");
    const xcb_atom_t active = atom(c, "_NET_ACTIVE_WINDOW");
    if (wmPid == XCB_ATOM_NONE || active == XCB_ATOM_NONE) {
        return;
    }
    for (xcb_window_t window : topLevelWindows(c, root, clientList)) {
        const auto pids = cardinals(c, window, wmPid, XCB_ATOM_CARDINAL);
        if (pids.empty() || pids.front() != static_cast<std::uint32_t>(pid)) {
            continue;
        }
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = active;
        event.data.data32[0] = 1; // from an application
        event.data.data32[1] = XCB_CURRENT_TIME;
        event.data.data32[2] = XCB_NONE;
        xcb_send_event(c, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
        // A round trip, so the server has taken the message before the connection closes.
        const Owned<xcb_get_input_focus_reply_t> done(
            xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        return;
    }
}

} // namespace twinlantern::platform
