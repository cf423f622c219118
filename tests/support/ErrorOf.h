#pragma once

#include "core/base/TwinLanternError.h"

#include <gtest/gtest.h>

namespace twinlantern::testing {

// The TwinLanternError that f throws; a test failure when it throws nothing.
template <typename F> TwinLanternError errorOf(F f) {
    try {
        f();
    } catch (const TwinLanternError& e) {
        return e;
    }
    ADD_FAILURE() << "nothing thrown";
    return TwinLanternError::io("");
}

} // namespace twinlantern::testing
