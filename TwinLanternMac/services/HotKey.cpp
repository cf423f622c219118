#include "TwinLanternMac/services/HotKey.h"

namespace twinlantern {

struct HotKey::Token {};

std::unique_ptr<HotKey> HotKey::create(platform::HotKeyService& service, const KeyCombo& combo,
                                       std::function<void()> action) {
    auto registration = service.add(combo.keyCode, combo.modifiers, std::move(action));
    if (!registration) {
        return nullptr;
    }
    return std::make_unique<HotKey>(Token{}, service, *registration);
}

void HotKey::unregister() {
    if (auto registration = std::exchange(registration_, std::nullopt)) {
        service_.remove(*registration);
    }
}

} // namespace twinlantern
