#include "core/tools/ToolStatus.h"

#include "core/base/JsonDecode.h"
#include "core/base/ShellQuote.h"
#include "core/base/Text.h"

#include <nlohmann/json.hpp>

namespace twinlantern {

namespace {
struct AccountField {
    const char* key;
    std::optional<std::string> AccountInfo::*member;
};
constexpr AccountField accountFields[] = {
    {"email", &AccountInfo::email},
    {"organizationName", &AccountInfo::organizationName},
    {"organizationID", &AccountInfo::organizationID},
    {"plan", &AccountInfo::plan},
    {"method", &AccountInfo::method},
};
} // namespace

std::optional<std::string> AccountInfo::sameAccountKey() const {
    if (!email) {
        return std::nullopt;
    }
    return text::lowercased(*email) + "|" + organizationID.value_or("");
}

void to_json(nlohmann::json& j, const AccountInfo& account) {
    j = nlohmann::json::object();
    for (const auto& field : accountFields) {
        if (const auto& value = account.*field.member) {
            j[field.key] = *value;
        }
    }
}

void from_json(const nlohmann::json& j, AccountInfo& account) {
    account = {};
    for (const auto& field : accountFields) {
        auto it = j.find(field.key);
        if (it != j.end() && !it->is_null()) {
            account.*field.member =
                json_decode::string(*it, std::string("an account's \"") + field.key + "\"");
        }
    }
}

std::string ToolStatus::label() const {
    switch (state) {
    case Case::signedIn:
        return "Signed in";
    case Case::ready:
        return "Set up";
    case Case::needsAttention:
        return "Needs attention";
    case Case::notInstalled:
        return "Not installed";
    case Case::notSetUp:
        return "Not set up";
    }
    return {};
}

std::string SignInCommand::shellLine() const {
    std::string line;
    if (!unset.empty()) {
        line = "env";
        for (const auto& name : unset) {
            line += " -u " + name;
        }
        line += ' ';
    }
    if (!environment.empty()) {
        if (line.empty()) {
            line = "env ";
        }
        // The map keeps names sorted.
        for (const auto& [name, value] : environment) {
            line += name + "=" + ShellQuote::quote(value) + " ";
        }
    }
    line += ShellQuote::quote(executable);
    for (const auto& argument : arguments) {
        line += ' ';
        line += ShellQuote::quote(argument);
    }
    return line;
}

} // namespace twinlantern
