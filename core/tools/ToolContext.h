#pragma once

#include "core/base/Paths.h"
#include "core/tools/BinaryLocator.h"

namespace twinlantern {

// Where tools are looked up and run.
struct ToolContext {
    Paths paths;
    Environment environment;

    BinaryLocator locator() const { return BinaryLocator(environment, paths); }

    friend bool operator==(const ToolContext&, const ToolContext&) = default;
};

} // namespace twinlantern
