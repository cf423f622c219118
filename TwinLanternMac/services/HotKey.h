#pragma once

#include "TwinLanternMac/services/KeyCombo.h"
#include "platform/HotKeyService.h"

#include <functional>
#include <memory>
#include <optional>

namespace twinlantern {

// One registered global shortcut; its action runs on the main loop, once per press.
// The service must outlive it.
class HotKey {
    struct Token; // only create() makes one

public:
    // Nothing when the combination can't be registered (another application holds
    // it, or there is no hot-key service here); nothing is left registered then.
    static std::unique_ptr<HotKey> create(platform::HotKeyService& service, const KeyCombo& combo,
                                          std::function<void()> action);

    HotKey(const Token&, platform::HotKeyService& service,
           platform::HotKeyService::Registration registration)
        : service_(service), registration_(registration) {}

    // Unregisters: a press must never reach an object that is gone.
    ~HotKey() { unregister(); }
    HotKey(const HotKey&) = delete;
    HotKey& operator=(const HotKey&) = delete;

    // Idempotent.
    void unregister();

private:
    platform::HotKeyService& service_;
    std::optional<platform::HotKeyService::Registration> registration_;
};

} // namespace twinlantern
