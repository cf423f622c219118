#include "core/base/TwinLanternError.h"

#include <cstring>

#include <gtest/gtest.h>

using namespace twinlantern;

TEST(TwinLanternError, Descriptions) {
    struct Case {
        TwinLanternError error;
        std::string text;
    };
    const Case cases[] = {
        {TwinLanternError::invalidProfile("Bad."), "Bad."},
        {TwinLanternError::profileNotFound("Wörk"),
         "There's no profile called \u201CWörk\u201D. Run `twinlantern profile list` to see them."},
        {TwinLanternError::storeCorrupt("/p/profiles.json", "broken"),
         "Couldn't read /p/profiles.json: broken"},
        {TwinLanternError::storeTooNew(2),
         "Your profiles were saved by a newer version of TwinLantern (format 2). Update "
         "TwinLantern to change them."},
        {TwinLanternError::unsafeDeletion("/etc"),
         "Refused to delete /etc because it isn't inside TwinLantern's own data folder."},
        {TwinLanternError::ioErrno("read /x", ENOENT),
         std::string("Couldn't read /x: ") + std::strerror(ENOENT)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.what(), c.text);
    }
}
