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

    // What one scan found, one slot per wanted path (in the order of paths()). Reused
    // from line to line: texts point into the line or into the slot's own storage, so
    // after the first lines a scan allocates nothing.
    struct Captured {
        enum class Kind { none, text, integer };
        Kind kind = Kind::none;
        std::string_view text;
        std::int64_t integer = 0;
        std::string storage; // a decoded text, when it differs from the line's bytes
    };
    struct Captures {
        std::vector<Captured> slots;
        std::string key; // a decoded object key
    };

    explicit JsonFieldScanner(std::set<KeyPath> paths);

    // Nothing when the line is not acceptable; otherwise the wanted paths found.
    std::optional<Result> scan(std::string_view line) const;
    // The same scan into reused slots; false when the line is not acceptable. The
    // texts stay valid until the next scan into the same captures or the line goes.
    bool scan(std::string_view line, Captures& captures) const;
    // The slot of a wanted path; paths().size() for a path that is not wanted.
    std::size_t slotOf(const KeyPath& path) const;

    const std::set<KeyPath>& paths() const { return paths_; }
    const std::set<KeyPath>& prefixes() const { return prefixes_; }

private:
    // The prefixes as a tree, so that a key is looked up without building its path.
    // A node has a few children: they are compared one by one.
    struct Node {
        std::vector<std::pair<std::string, std::size_t>> children;
        std::size_t slot = npos; // set when wanted
    };
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    struct State;

    std::size_t childOf(std::size_t node, std::string_view key) const;
    bool parseValue(State& state, std::size_t node, Captures& out) const;
    bool parseObject(State& state, std::size_t node, Captures& out) const;

    std::set<KeyPath> paths_;
    std::set<KeyPath> prefixes_;
    std::vector<Node> nodes_; // nodes_[0] is the empty path
};

} // namespace twinlantern
