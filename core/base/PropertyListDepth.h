#pragma once

#include <cstddef>
#include <string_view>

namespace twinlantern {

// Whether libplist may parse bytes without recursing past maxNesting arrays and
// dictionaries: its readers recurse once per level, and a file nested far deeper
// overflows the stack. XML is scanned for <array> and <dict>; anything the scan can't
// judge the same way every XML reader would (a '<' inside a comment, CDATA, a processing
// instruction or a tag; an array or dict tag with attributes; an internal DTD subset) is
// refused. A binary list's object references are walked from the top object: a cycle,
// a reference out of range, more levels than maxNesting or more than maxNodes nodes once
// shared objects are copied out is refused.
bool propertyListNestingWithin(std::string_view bytes, int maxNesting, std::size_t maxNodes);

} // namespace twinlantern
