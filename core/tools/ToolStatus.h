#pragma once

#include "core/base/Paths.h"

#include <nlohmann/json_fwd.hpp>

#include <optional>
#include <string>
#include <vector>

namespace twinlantern {

// The account a tool reports for a profile.
struct AccountInfo {
    std::optional<std::string> email;
    std::optional<std::string> organizationName;
    std::optional<std::string> organizationID;
    std::optional<std::string> plan;
    std::optional<std::string> method;

    // Lower-cased email, "|", organisation id; nil without email.
    std::optional<std::string> sameAccountKey() const;

    friend bool operator==(const AccountInfo&, const AccountInfo&) = default;
};

void to_json(nlohmann::json& j, const AccountInfo& account);
void from_json(const nlohmann::json& j, AccountInfo& account);

// What the user sees per profile and tool. A finding, never an error.
struct ToolStatus {
    enum class Case { signedIn, ready, needsAttention, notInstalled, notSetUp };

    Case state = Case::notSetUp;
    AccountInfo account; // signedIn only
    std::string message; // ready's note, needsAttention's problem

    static ToolStatus signedIn(AccountInfo account) {
        return {Case::signedIn, std::move(account), {}};
    }
    static ToolStatus ready(std::string note) { return {Case::ready, {}, std::move(note)}; }
    static ToolStatus needsAttention(std::string problem) {
        return {Case::needsAttention, {}, std::move(problem)};
    }
    static ToolStatus notInstalled() { return {Case::notInstalled, {}, {}}; }
    static ToolStatus notSetUp() { return {Case::notSetUp, {}, {}}; }

    std::string label() const;

    friend bool operator==(const ToolStatus&, const ToolStatus&) = default;
};

// A command that signs a profile in; run in a terminal window, never by us.
struct SignInCommand {
    std::string executable; // full path
    std::vector<std::string> arguments;
    Environment environment;        // variables to set
    std::vector<std::string> unset; // variables to remove

    // One line for a POSIX shell: "env -u A NAME=value executable args".
    std::string shellLine() const;

    friend bool operator==(const SignInCommand&, const SignInCommand&) = default;
};

} // namespace twinlantern
