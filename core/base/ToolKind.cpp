#include "core/base/ToolKind.h"

#include "core/base/Text.h"

#include <string>

namespace twinlantern {

std::optional<ToolKind> toolKindFromArgument(std::string_view argument) {
    const std::string lower = text::lowercased(argument);
    for (const ToolInfo& row : toolTable) {
        if (row.words.contains(lower)) {
            return row.kind;
        }
    }
    return std::nullopt;
}

} // namespace twinlantern
