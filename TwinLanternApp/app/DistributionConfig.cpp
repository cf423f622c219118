#include "TwinLanternApp/app/DistributionConfig.h"

#include "TwinLanternApp/app/MainBundle.h"

namespace twinlantern::app {

bool DistributionConfig::updatesConfigured(const PropertyList* info) {
    if (info == nullptr) {
        return false;
    }
    const auto feed = info->string("SUFeedURL");
    const auto key = info->string("SUPublicEDKey");
    return feed && !feed->empty() && key && !key->empty();
}

bool DistributionConfig::updatesConfigured() {
    const auto info = MainBundle::info();
    return updatesConfigured(info ? &*info : nullptr);
}

} // namespace twinlantern::app
