#pragma once

#include "core/base/PropertyList.h"

#include <memory>
#include <string>

namespace twinlantern::app {

// What an updater offers the app: a check on demand.
class UpdaterController {
public:
    virtual ~UpdaterController() = default;
    virtual void checkForUpdates() = 0;
    virtual bool automaticallyChecksForUpdates() const = 0;
    virtual void setAutomaticallyChecksForUpdates(bool on) = 0;
};

// The software updater. No updater is built in here, so the controller stays null and
// updates are off; start-up says so.
class UpdaterService {
public:
    static UpdaterService& shared();

    // Set at most once, at start-up; null for the life of the process here.
    std::unique_ptr<UpdaterController> controller;

    // The main bundle's "CFBundleShortVersionString"; "?" when it can't be read.
    static std::string currentVersion();
    static std::string currentVersion(const PropertyList* info);
};

} // namespace twinlantern::app
