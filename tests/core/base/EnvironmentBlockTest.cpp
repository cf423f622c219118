#include "core/base/EnvironmentBlock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace twinlantern {
namespace {

std::vector<std::string> entries(const EnvironmentBlock& block) {
    std::vector<std::string> result;
    for (char* const* entry = block.data(); *entry != nullptr; ++entry) {
        result.emplace_back(*entry);
    }
    return result;
}

TEST(EnvironmentBlock, NameEqualsValueInOrderThenANullPointer) {
    struct Case {
        const char* name;
        Environment environment;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"empty", {}, {}},
        {"short enough to sit inside the string", {{"A", ""}}, {"A="}},
        {"values with = and spaces",
         {{"PATH", "/usr/bin:/bin"}, {"X", "a b=c"}, {"EMPTY", ""}},
         {"EMPTY=", "PATH=/usr/bin:/bin", "X=a b=c"}},
        {"a long value beside short ones",
         {{"B", std::string(100000, 'v')}, {"C", "c"}},
         {"B=" + std::string(100000, 'v'), "C=c"}},
        // The child sees the value up to the NUL; no entry is made from the rest.
        {"a value holding a NUL",
         {{"N", std::string("left\0right", 10)}, {"Z", "z"}},
         {"N=left", "Z=z"}},
    };
    for (const Case& c : cases) {
        const EnvironmentBlock block(c.environment);
        EXPECT_EQ(entries(block), c.expected) << c.name;
    }
}

} // namespace
} // namespace twinlantern
