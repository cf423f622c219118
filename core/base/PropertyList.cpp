#include "core/base/PropertyList.h"

#include "core/base/FileUtil.h"
#include "core/base/PropertyListDepth.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace twinlantern {

std::optional<PropertyList> PropertyList::readDictionary(const std::string& path, int* error,
                                                         std::size_t maxBytes) {
    ReadResult read = readWholeFile(path, std::min(maxBytes, maxFileBytes));
    std::optional<PropertyList> list;
    if (read.bytes) {
        list = parseDictionary(*read.bytes);
    }
    if (!list && error != nullptr) {
        *error = read.bytes ? EINVAL : read.error;
    }
    return list;
}

std::optional<PropertyList> PropertyList::parseDictionary(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > maxFileBytes ||
        !propertyListNestingWithin(bytes, maxNesting, maxNodes)) {
        return std::nullopt;
    }
    const auto size = static_cast<std::uint32_t>(bytes.size());
    plist_t root = nullptr;
    if (plist_is_binary(bytes.data(), size)) {
        plist_from_bin(bytes.data(), size, &root);
    } else {
        plist_from_xml(bytes.data(), size, &root);
    }
    PropertyList list(root);
    if (root == nullptr || plist_get_node_type(root) != PLIST_DICT) {
        return std::nullopt;
    }
    return list;
}

std::optional<std::string> PropertyList::string(const char* key) const {
    plist_t node = plist_dict_get_item(root_.get(), key);
    if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) {
        return std::nullopt;
    }
    std::uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    if (text == nullptr) {
        return std::nullopt;
    }
    return std::string(text, length);
}

std::string propertyListXml(plist_t node) {
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(node, &xml, &length);
    std::string out;
    if (xml != nullptr) {
        out.assign(xml, length);
        plist_to_xml_free(xml);
    }
    return out;
}

} // namespace twinlantern
