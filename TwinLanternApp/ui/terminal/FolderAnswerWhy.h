#pragma once

#include "core/base/Paths.h"
#include "core/rules/RuleResolver.h"

#include <string>

namespace twinlantern::ui {

// The reason shown after the profile's name in the folder test.
std::string folderAnswerWhy(const Resolution& resolution, const Paths& paths);
// The profile's name, or "Usual accounts" when none applies.
std::string folderAnswerName(const Resolution& resolution);

} // namespace twinlantern::ui
