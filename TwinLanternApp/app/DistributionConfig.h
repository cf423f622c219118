#pragma once

#include "core/base/PropertyList.h"

namespace twinlantern::app {

// Whether the bundle is set up for updates: "SUFeedURL" and "SUPublicEDKey" both
// non-empty strings in its Info.plist.
struct DistributionConfig {
    // The main bundle's, read afresh at every call.
    static bool updatesConfigured();
    // Of a given information dictionary; null counts as empty.
    static bool updatesConfigured(const PropertyList* info);
};

} // namespace twinlantern::app
