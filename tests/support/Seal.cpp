#include "tests/support/Seal.h"

#include "core/base/PropertyList.h"
#include "tests/support/Programs.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdio>
#include <cstdlib>

namespace twinlantern::testing {

std::map<std::string, std::string> sealedFiles(const std::string& bundle) {
    const auto list =
        PropertyList::readDictionary(bundle + "/Contents/_CodeSignature/CodeResources");
    std::map<std::string, std::string> out;
    if (!list) {
        ADD_FAILURE() << "no seal in " << bundle;
        return out;
    }
    plist_t files = plist_dict_get_item(list->root(), "files2");
    if (plist_get_node_type(files) != PLIST_DICT) {
        ADD_FAILURE() << "no files2 dictionary in the seal of " << bundle;
        return out;
    }
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(files, &it);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(files, it, &key, &value);
        if (key == nullptr) {
            break;
        }
        plist_t hash = plist_dict_get_item(value, "hash2");
        EXPECT_EQ(plist_get_node_type(hash), PLIST_DATA) << key;
        char* data = nullptr;
        uint64_t length = 0;
        plist_get_data_val(hash, &data, &length);
        std::string hex;
        for (uint64_t i = 0; i < length; ++i) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(data[i]));
            hex += two;
        }
        std::free(data);
        out[key] = hex;
        std::free(key);
    }
    std::free(it);
    return out;
}

std::string sha256sum(const std::string& path) {
    const RunResult run = runProgram({"/usr/bin/sha256sum", path}, {{"PATH", "/usr/bin:/bin"}});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return run.out.substr(0, 64);
}

} // namespace twinlantern::testing
