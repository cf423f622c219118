#pragma once

#include <plist/plist.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace twinlantern {

// A property list whose top level is a dictionary, as bundles' Info.plist files are,
// read from XML or binary.
class PropertyList {
public:
    // Info.plist files are a few kilobytes; anything this large is not one.
    static constexpr std::size_t maxFileBytes = 4 * 1024 * 1024;
    // The Info.plist of a bundle that is only looked at while scanning the applications
    // folders: real ones are a few KiB, and every program that scans reads each.
    static constexpr std::size_t maxScannedFileBytes = 256 * 1024;
    // Real property lists nest a few levels; the library recurses once per level.
    static constexpr int maxNesting = 64;
    // Nodes once a binary list's shared objects are copied out, as the library does.
    static constexpr std::size_t maxNodes = 100000;

    // Through openRegularFile with maxBytes. Nothing when the file cannot be read
    // (error: its errno) or is no property list with a dictionary on top, or nests too
    // deep (EINVAL).
    static std::optional<PropertyList> readDictionary(const std::string& path, int* error = nullptr,
                                                      std::size_t maxBytes = maxFileBytes);
    // Nothing for bytes nested past maxNesting (see propertyListNestingWithin), before
    // the library sees them.
    static std::optional<PropertyList> parseDictionary(std::string_view bytes);

    // The string at key; nothing when absent or not a string.
    std::optional<std::string> string(const char* key) const;
    // The dictionary itself, owned by this object, for readers of other value types.
    plist_t root() const { return root_.get(); }

private:
    struct Free {
        void operator()(plist_t node) const { plist_free(node); }
    };
    explicit PropertyList(plist_t root) : root_(root) {}

    std::unique_ptr<std::remove_pointer_t<plist_t>, Free> root_;
};

// A property list as XML text; empty only when the library fails.
std::string propertyListXml(plist_t node);

} // namespace twinlantern
