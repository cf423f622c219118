#include "core/base/EnvironmentBlock.h"

namespace twinlantern {

EnvironmentBlock::EnvironmentBlock(const Environment& environment) {
    std::size_t size = 0;
    for (const auto& [name, value] : environment) {
        size += name.size() + value.size() + 2;
    }
    // Reserved in full, so the text never moves while the pointers are taken. A value
    // holding a NUL ends there for the child, as it would through c_str().
    text_.reserve(size);
    pointers_.reserve(environment.size() + 1);
    for (const auto& [name, value] : environment) {
        pointers_.push_back(text_.data() + text_.size());
        text_ += name;
        text_ += '=';
        text_ += value;
        text_ += '\0';
    }
    pointers_.push_back(nullptr);
}

} // namespace twinlantern
