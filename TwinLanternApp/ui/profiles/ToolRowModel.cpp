#include "TwinLanternApp/ui/profiles/ToolRowModel.h"

#include "TwinLanternApp/model/AppModel.h"

#include "core/tools/CodexAdapter.h"
#include "core/usage/ActivitySummary.h"

namespace twinlantern::ui {

ToolRowFacts ToolRowFacts::of(const app::AppModel& model, const Profile& profile, ToolKind tool) {
    ToolRowFacts facts;
    facts.tool = tool;
    facts.storage = profile.storage;
    facts.signingIn = model.isSigningIn(profile, tool);
    facts.status = model.status(profile, tool);
    facts.running = isApp(tool) && model.isRunning(profile, tool);
    facts.codexSignInRunning = model.codexSignInRunning();
    if (tool == ToolKind::codex && facts.status &&
        facts.status->state == ToolStatus::Case::notSetUp) {
        const auto adapter = model.adapter(ToolKind::codex);
        if (const auto* codex = dynamic_cast<const CodexAdapter*>(adapter.get())) {
            facts.usesBundledCodex = codex->usesBundledCodex();
        }
    }
    const auto& usage = model.usage();
    if (const auto byProfile = usage.find(profile.id); byProfile != usage.end()) {
        if (const auto byTool = byProfile->second.find(tool); byTool != byProfile->second.end()) {
            facts.weekTokens =
                byTool->second.sevenDays.inputTokens + byTool->second.sevenDays.outputTokens;
        }
    }
    return facts;
}

std::string toolRowName(ToolKind tool) {
    return displayName(tool);
}

namespace {

std::string stateText(const ToolRowFacts& facts) {
    const ToolStatus& status = *facts.status;
    switch (status.state) {
    case ToolStatus::Case::signedIn:
        return status.account.email ? *status.account.email : "Signed in";
    case ToolStatus::Case::ready:
        if (status.message == "Running") {
            return "Open";
        }
        if (status.message.starts_with("Uses your usual")) {
            return status.message;
        }
        return "Ready";
    case ToolStatus::Case::needsAttention:
        return "Needs signing in";
    case ToolStatus::Case::notInstalled:
        return "Not installed";
    case ToolStatus::Case::notSetUp:
        return facts.tool == ToolKind::claudeDesktop ? "Not opened yet" : "Not signed in";
    }
    return "";
}

} // namespace

std::string toolRowCaption(const ToolRowFacts& facts) {
    if (facts.signingIn) {
        return "Waiting for you to finish in Terminal…";
    }
    if (!facts.status) {
        return "Checking…";
    }
    std::string caption = stateText(facts);
    if (facts.tool == ToolKind::codex && facts.status->state == ToolStatus::Case::notSetUp &&
        facts.usesBundledCodex) {
        caption += " · shares the ChatGPT app's login";
    }
    if (facts.weekTokens && *facts.weekTokens >= 1) {
        caption += " · ";
        caption += compactTokenCount(*facts.weekTokens);
        caption += " tokens this week";
    }
    return caption;
}

bool captionNeedsAttention(const ToolRowFacts& facts) {
    return facts.status && facts.status->state == ToolStatus::Case::needsAttention;
}

std::vector<ToolRowButton> toolRowButtons(const ToolRowFacts& facts) {
    using Action = ToolRowButton::Action;
    const std::string openTitle = facts.running ? "Show" : "Open";
    switch (facts.tool) {
    case ToolKind::chatGPTApp:
        return {{openTitle, "Sign in inside the window that opens", Action::openApp}};
    case ToolKind::claudeDesktop:
        if (facts.storage == Profile::Storage::system) {
            return {{openTitle, "Sign in with your email address in the window that opens",
                     Action::openApp}};
        }
        return {{"Sign in with Google",
                 "Opens this profile's Claude and makes sure Google's sign-in reaches this window",
                 Action::signInWithGoogle, true, true},
                {openTitle, "Sign in with your email address, or Google, in the window that opens",
                 Action::openApp}};
    case ToolKind::claudeCode:
    case ToolKind::codex:
        break;
    }
    if (facts.status && (facts.status->state == ToolStatus::Case::signedIn ||
                         facts.status->state == ToolStatus::Case::notInstalled)) {
        return {};
    }
    if (facts.storage == Profile::Storage::system) {
        return {};
    }
    const bool busy =
        facts.signingIn || (facts.tool == ToolKind::codex && facts.codexSignInRunning);
    return {{"Sign In", "", Action::signIn, !busy}};
}

} // namespace twinlantern::ui
