#include "tests/support/x11/XClient.h"

#include <xcb/xtest.h>

#include <cstdlib>
#include <vector>

namespace twinlantern::testing {

XClient::XClient(const std::string& display) {
    connection_ = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(connection_) == 0) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    }
}

XClient::~XClient() {
    xcb_disconnect(connection_);
}

bool XClient::connected() const {
    return xcb_connection_has_error(connection_) == 0;
}

void XClient::press(std::uint8_t keycode) {
    xcb_test_fake_input(connection_, XCB_KEY_PRESS, keycode, XCB_CURRENT_TIME, root_, 0, 0, 0);
    xcb_flush(connection_);
}

void XClient::release(std::uint8_t keycode) {
    xcb_test_fake_input(connection_, XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME, root_, 0, 0, 0);
    xcb_flush(connection_);
}

void XClient::tap(std::initializer_list<std::uint8_t> keys) {
    for (auto key : keys) {
        press(key);
    }
    std::vector<std::uint8_t> reversed(keys);
    for (auto it = reversed.rbegin(); it != reversed.rend(); ++it) {
        release(*it);
    }
    sync();
}

void XClient::sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

bool XClient::grab(std::uint8_t keycode, std::uint16_t modifiers) {
    auto cookie = xcb_grab_key_checked(connection_, 1, root_, modifiers, keycode,
                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    xcb_generic_error_t* error = xcb_request_check(connection_, cookie);
    std::free(error);
    return error == nullptr && connected();
}

std::uint16_t XClient::lockState() {
    auto* reply =
        xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr);
    std::uint16_t mask = reply != nullptr ? reply->mask : 0;
    std::free(reply);
    return mask;
}

} // namespace twinlantern::testing
