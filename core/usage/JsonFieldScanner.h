#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace twinlantern {

// Pulls a few wanted scalars out of one JSON line in a single pass, without building
// the document. Tolerant, not validating: what it skips it does not check.
class JsonFieldScanner {
public:
    using KeyPath = std::vector<std::string>;
    using Value = std::variant<std::string, std::int64_t>;
    using Result = std::map<KeyPath, Value>;

    explicit JsonFieldScanner(std::set<KeyPath> paths);

    // Nothing when the line is not acceptable; otherwise the wanted paths found.
    std::optional<Result> scan(std::string_view line) const;

    const std::set<KeyPath>& paths() const { return paths_; }
    const std::set<KeyPath>& prefixes() const { return prefixes_; }

private:
    // The prefixes as a tree, so that a key is looked up without building its path.
    struct Node {
        std::map<std::string, std::size_t, std::less<>> children;
        bool wanted = false;
        std::optional<KeyPath> path; // set when wanted
    };
    struct State;

    bool parseValue(State& state, std::size_t node, Result& result) const;
    bool parseObject(State& state, std::size_t node, Result& result) const;

    std::set<KeyPath> paths_;
    std::set<KeyPath> prefixes_;
    std::vector<Node> nodes_; // nodes_[0] is the empty path
};

} // namespace twinlantern
