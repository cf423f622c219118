#include "TwinLanternApp/ui/terminal/FolderAnswerWhy.h"

namespace twinlantern::ui {

std::string folderAnswerWhy(const Resolution& resolution, const Paths& paths) {
    std::string text;
    switch (resolution.source) {
    case Resolution::Source::folderRule:
        text = "because of ";
        if (resolution.rule) {
            text += resolution.rule->folderPath();
        }
        return text;
    case Resolution::Source::dotfile:
        text = "because of ";
        text += paths.abbreviate(resolution.dotfilePath);
        return text;
    case Resolution::Source::cliDefault:
        return "(default)";
    case Resolution::Source::none:
        break;
    }
    return "(no profile applies)";
}

std::string folderAnswerName(const Resolution& resolution) {
    return resolution.profile ? resolution.profile->name : std::string("Usual accounts");
}

} // namespace twinlantern::ui
