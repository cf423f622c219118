#pragma once

#include "core/rules/BinaryLocator.h"
#include "core/base/Paths.h"

namespace twinlantern {

// Where tools are looked up and run.
struct ToolContext {
    Paths paths;
    Environment environment;

    BinaryLocator locator() const { return BinaryLocator(environment, paths); }

    friend bool operator==(const ToolContext&, const ToolContext&) = default;
};

} // namespace twinlantern
