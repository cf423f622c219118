#include "core/base/ProfileID.h"

#include "core/base/Random.h"
#include "core/base/Text.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace twinlantern {

bool ProfileID::isValid() const {
    const std::string& s = rawValue;
    if (s.empty() || s.size() > 40) {
        return false;
    }
    if (s.front() == '-' || s.back() == '-' || s.find("--") != std::string::npos) {
        return false;
    }
    return std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    });
}

ProfileID ProfileID::generate(std::string_view name, const std::set<ProfileID>& avoiding) {
    const std::string folded = text::foldedForSlug(name);
    std::string slug;
    // Bytes of non-ASCII characters are never a-z or 0-9, so byte-wise walking
    // turns each run of them into one "-" just as a character walk would.
    for (char c : folded) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            slug.push_back(c);
        } else if (!slug.empty() && slug.back() != '-') {
            slug.push_back('-');
        }
    }
    auto trimDashes = [&slug] {
        while (!slug.empty() && slug.back() == '-') {
            slug.pop_back();
        }
    };
    trimDashes();
    if (slug.size() > 20) {
        slug.resize(20);
    }
    trimDashes();
    if (slug.empty()) {
        slug = "profile";
    }
    static constexpr std::string_view alphabet = "abcdefghijkmnpqrstuvwxyz23456789";
    for (;;) {
        std::string candidate = slug + "-";
        for (int i = 0; i < 4; ++i) {
            candidate.push_back(
                alphabet[secureRandomBelow(static_cast<std::uint32_t>(alphabet.size()))]);
        }
        ProfileID id(std::move(candidate));
        if (!avoiding.contains(id)) {
            return id;
        }
    }
}

void to_json(nlohmann::json& j, const ProfileID& id) {
    j = id.rawValue;
}

} // namespace twinlantern
