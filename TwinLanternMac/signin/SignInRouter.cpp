#include "TwinLanternMac/signin/SignInRouter.h"

#include "core/base/FileUtil.h"
#include "core/base/Json.h"
#include "core/base/PathUtil.h"
#include "core/base/TwinLanternError.h"

#include <nlohmann/json.hpp>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>

namespace twinlantern {

namespace {

bool isSchemeCharacter(unsigned char c) {
    return std::isalnum(c) || c == '+' || c == '-' || c == '.';
}

bool isURICharacter(unsigned char c) {
    static constexpr std::string_view allowed = "-._~:/?#[]@!$&'()*+,;=%";
    return c < 0x80 && (std::isalnum(c) || allowed.find(static_cast<char>(c)) != allowed.npos);
}

std::string normal(const std::string& path) {
    std::string s = std::filesystem::path(path).lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') {
        s.pop_back();
    }
    return s;
}

// The .app a bundle executable lies in.
std::optional<std::string> bundleOf(const std::string& executable) {
    const std::size_t at = executable.rfind("/Contents/MacOS/");
    if (at == std::string::npos || !executable.substr(0, at).ends_with(".app")) {
        return std::nullopt;
    }
    return executable.substr(0, at);
}

using SavedDefault = platform::SchemeHandlers::SavedDefault;

// The user's lists, at most 1 MiB each, in hexadecimal.
constexpr std::size_t maxPreviousBytes = 16u << 20;

// A list's bytes as they are, whatever they hold (JSON text must be UTF-8).
std::string hex(std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        out += digits[u >> 4];
        out += digits[u & 15];
    }
    return out;
}

std::optional<std::string> unhex(std::string_view text) {
    const auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    if (text.size() % 2 != 0) {
        return std::nullopt;
    }
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = digit(text[i]), low = digit(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(high * 16 + low);
    }
    return out;
}

std::string previousText(const std::vector<SavedDefault>& saved) {
    nlohmann::json lists = nlohmann::json::array();
    for (const SavedDefault& entry : saved) {
        lists.push_back({{"list", entry.list},
                         {"bytes", entry.text ? nlohmann::json(hex(*entry.text)) : nullptr}});
    }
    return jsonText(nlohmann::json{{"lists", lists}});
}

std::optional<std::vector<SavedDefault>> parsePrevious(const std::string& json) {
    const nlohmann::json root = nlohmann::json::parse(json, nullptr, false);
    if (!root.is_object() || !root.contains("lists") || !root["lists"].is_array()) {
        return std::nullopt;
    }
    std::vector<SavedDefault> saved;
    for (const nlohmann::json& entry : root["lists"]) {
        if (!entry.is_object() || !entry.contains("list") || !entry["list"].is_string() ||
            !entry.contains("bytes") || !(entry["bytes"].is_null() || entry["bytes"].is_string())) {
            return std::nullopt;
        }
        std::optional<std::string> text;
        if (entry["bytes"].is_string()) {
            text = unhex(entry["bytes"].get<std::string>());
            if (!text) {
                return std::nullopt;
            }
        }
        saved.push_back({entry["list"].get<std::string>(), std::move(text)});
    }
    return saved;
}

} // namespace

SignInRouter::SignInRouter(Services services)
    : services_(std::move(services)), log_(services_.log, std::string(logCategory)),
      self_(std::make_shared<SignInRouter*>(this)) {}

std::unique_ptr<SignInRouter>& SignInRouter::shared() {
    static std::unique_ptr<SignInRouter> router;
    return router;
}

SignInRouter::~SignInRouter() = default;

bool SignInRouter::isURI(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == 0 || colon == text.npos || !std::isalpha(static_cast<unsigned char>(text[0]))) {
        return false;
    }
    for (std::size_t i = 0; i < colon; ++i) {
        if (!isSchemeCharacter(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    for (std::size_t i = colon + 1; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!isURICharacter(c)) {
            return false;
        }
        if (c == '%' &&
            (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
             !std::isxdigit(static_cast<unsigned char>(text[i + 2])))) {
            return false;
        }
    }
    return true;
}

std::string SignInRouter::redactedLink(std::string_view link) {
    const std::size_t colon = link.find(':');
    std::string linkScheme = "?";
    if (colon != link.npos && colon > 0 &&
        link.substr(0, colon).find_first_of("/?#") == link.npos) {
        linkScheme = std::string(link.substr(0, colon));
        link.remove_prefix(colon + 1);
    }
    link = link.substr(0, link.find_first_of("?#"));
    std::string host;
    if (link.starts_with("//")) {
        link.remove_prefix(2);
        const std::size_t slash = link.find('/');
        std::string_view authority = link.substr(0, slash);
        link = slash == link.npos ? std::string_view() : link.substr(slash);
        if (const std::size_t at = authority.rfind('@'); at != authority.npos) {
            authority.remove_prefix(at + 1);
        }
        const std::size_t bracket = authority.rfind(']');
        const std::size_t portColon = authority.rfind(':');
        if (portColon != authority.npos && (bracket == authority.npos || portColon > bracket)) {
            authority = authority.substr(0, portColon);
        }
        host = std::string(authority);
    }
    return linkScheme + "://" + host + std::string(link);
}

std::optional<std::string> SignInRouter::currentHandler() const {
    return services_.handlers.currentHandler(scheme);
}

bool SignInRouter::isHandler() const {
    const auto current = currentHandler();
    return current && normal(*current) == normal(services_.ownBundle);
}

std::string SignInRouter::handlerText() const {
    return currentHandler().value_or("?");
}

void SignInRouter::take(const std::string& bundle, bool own) {
    services_.handlers.setHandler(scheme, bundle, own);
}

void SignInRouter::keepPrevious(std::vector<SavedDefault> saved) {
    const std::string& file = services_.previousHandlerFile;
    if (!file.empty()) {
        if (!makeDirectories(PathUtil::parent(file), 0700)) {
            throw TwinLanternError::ioErrno("write " + file, errno);
        }
        if (const auto failure = writeFileAtomically(file, previousText(saved), 0600)) {
            throw TwinLanternError::ioErrno("write " + file, failure->error);
        }
    }
    previous_ = std::move(saved);
}

std::optional<std::vector<SavedDefault>> SignInRouter::previous() const {
    if (previous_ || services_.previousHandlerFile.empty()) {
        return previous_;
    }
    const ReadResult read = readWholeFile(services_.previousHandlerFile, maxPreviousBytes);
    return read.bytes ? parsePrevious(*read.bytes) : std::nullopt;
}

void SignInRouter::forgetPrevious() {
    previous_.reset();
    if (!services_.previousHandlerFile.empty()) {
        ::unlink(services_.previousHandlerFile.c_str());
    }
}

void SignInRouter::arm(const std::string& userDataDirectory, const std::string& profileName,
                       std::chrono::duration<double> duration) {
    bool recorded = false;
    try {
        // Already the handler (armed, or left over): what was there before is kept already.
        if (!isHandler()) {
            keepPrevious(services_.handlers.userDefaults(scheme));
            recorded = true;
        }
        take(services_.ownBundle, true);
    } catch (const TwinLanternError& error) {
        if (recorded) {
            forgetPrevious();
        }
        log_.error("arm failed: " + std::string(error.what()));
        throw;
    }
    log_.log("armed for " + profileName + ", handler now " + handlerText());
    armed_ = Armed{userDataDirectory, profileName,
                   services_.now() + std::chrono::duration_cast<Clock::duration>(duration)};
    watch_.reset();
    watch_ = services_.loop.postAfter(Clock::duration::zero(), [this] { guardPass(); });
    if (onChange) {
        onChange(std::nullopt);
    }
}

void SignInRouter::guardPass() {
    if (!armed_) {
        return;
    }
    if (armed_->until <= services_.now()) {
        disarm();
        return;
    }
    if (!isHandler()) {
        log_.log("handler changed to " + handlerText() + "; taking it back");
        try {
            take(services_.ownBundle, true);
        } catch (const TwinLanternError& error) {
            log_.error("re-take failed: " + std::string(error.what()));
        }
    }
    watch_ = services_.loop.postAfter(guardInterval, [this] { guardPass(); });
}

void SignInRouter::disarm(std::optional<std::string> reason) {
    watch_.reset();
    armed_.reset();
    if (const auto saved = previous()) {
        // Exactly what the user had, or no line where there was none.
        try {
            services_.handlers.restoreDefaults(scheme, *saved);
            forgetPrevious();
        } catch (const TwinLanternError& error) {
            log_.error("restore failed: " + std::string(error.what()));
        }
    } else if (const auto claude =
                   services_.workspace.applicationLocation(services_.claudeBundleID)) {
        try {
            take(*claude, false);
        } catch (const TwinLanternError& error) {
            log_.error("restore failed: " + std::string(error.what()));
        }
    }
    log_.log("disarmed, handler now " + handlerText());
    if (onChange) {
        onChange(reason);
    }
}

void SignInRouter::restoreIfLeftOver() {
    if (armed_) {
        return;
    }
    if (isHandler()) {
        disarm();
    } else {
        forgetPrevious(); // the handler changed since: a record is stale
    }
}

void SignInRouter::postDisarm(std::optional<std::string> reason) {
    services_.loop.post([weak = std::weak_ptr<SignInRouter*>(self_), reason = std::move(reason)] {
        if (const auto router = weak.lock()) {
            (*router)->disarm(reason);
        }
    });
}

bool SignInRouter::forward(const std::string& link, const DesktopLauncher::Instance& instance) {
    auto& workspace = services_.workspace;
    const auto failed = [&](const std::string& cause) {
        log_.error("forward to pid " + std::to_string(instance.pid) + " failed: " + cause);
        return false;
    };
    const auto application = workspace.application(instance.pid);
    if (!application || !workspace.isAlive(instance.pid)) {
        return failed(std::to_string(ESRCH));
    }
    // The pid must still be the instance of that folder, not a recycled or other one.
    const auto now = DesktopLauncher::runningInstances(workspace, services_.claudeBundleID);
    if (std::find(now.begin(), now.end(), instance) == now.end()) {
        return failed(std::to_string(ESRCH));
    }
    const auto bundle = bundleOf(application->executable);
    if (!bundle) {
        return failed(std::to_string(ENOEXEC));
    }
    std::vector<std::string> arguments;
    if (instance.userDataDirectory) {
        arguments.push_back("--user-data-dir=" + *instance.userDataDirectory);
    }
    arguments.push_back(link);
    try {
        workspace.open(*bundle, arguments,
                       DesktopLauncher::launchEnvironment(workspace.environment()));
    } catch (const TwinLanternError& error) {
        return failed(error.what());
    }
    log_.log("forwarded " + redactedLink(link) + " to pid " + std::to_string(instance.pid));
    return true;
}

void SignInRouter::handle(std::string_view text) {
    if (!isURI(text)) {
        return;
    }
    const std::string link(text);
    std::string linkScheme = link.substr(0, link.find(':'));
    std::transform(linkScheme.begin(), linkScheme.end(), linkScheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (linkScheme != scheme) {
        return;
    }
    log_.log("received " + redactedLink(link) +
             "; armed: " + (armed_ ? armed_->profileName : std::string("no")));
    auto& workspace = services_.workspace;
    if (armed_ && armed_->until > services_.now()) {
        const std::string name = armed_->profileName;
        const std::string closed =
            "Claude — " + name + " was closed before sign-in finished. Open it and try again.";
        const auto target = DesktopLauncher::instance(workspace, armed_->userDataDirectory,
                                                      services_.claudeBundleID);
        if (!target) {
            log_.error("profile window isn't running");
            postDisarm(closed);
            return;
        }
        if (!forward(link, *target)) {
            postDisarm(closed);
            return;
        }
        if (const auto application = workspace.application(target->pid)) {
            workspace.activate(*application);
        }
        if (onChange) {
            onChange("Passed the sign-in to Claude — " + name + ".");
        }
        if (armed_) {
            armed_->until = std::min(armed_->until, services_.now() + afterDelivery);
        }
        return;
    }
    if (const auto fallback =
            DesktopLauncher::instance(workspace, std::nullopt, services_.claudeBundleID)) {
        forward(link, *fallback);
    } else if (const auto claude = workspace.applicationLocation(services_.claudeBundleID)) {
        try {
            workspace.open(*claude, {link},
                           DesktopLauncher::launchEnvironment(workspace.environment()));
        } catch (const TwinLanternError& error) {
            log_.error("opening Claude Desktop failed: " + std::string(error.what()));
        }
    }
    postDisarm(std::nullopt);
}

} // namespace twinlantern
