#include "core/base/PropertyListDepth.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace twinlantern {

namespace {

constexpr std::string_view binaryMagic = "bplist";

bool isNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == ':' || c == '.' || c == '-';
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x | 0x20) == (y | 0x20);
           });
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The end of a construct from `open` to `close`, with no '<' inside; npos when there is
// none or it holds one.
std::size_t constructEnd(std::string_view xml, std::size_t from, std::string_view close) {
    const std::size_t end = xml.find(close, from);
    if (end == std::string_view::npos || xml.substr(from, end - from).find('<') != xml.npos) {
        return std::string_view::npos;
    }
    return end + close.size();
}

bool xmlWithin(std::string_view xml, int maxNesting) {
    int depth = 0;
    std::size_t at = 0;
    while ((at = xml.find('<', at)) != std::string_view::npos) {
        const std::string_view rest = xml.substr(at);
        std::size_t next;
        if (rest.starts_with("<!--")) {
            next = constructEnd(xml, at + 4, "-->");
        } else if (rest.starts_with("<![CDATA[")) {
            next = constructEnd(xml, at + 9, "]]>");
        } else if (rest.starts_with("<?")) {
            next = constructEnd(xml, at + 2, "?>");
        } else if (rest.starts_with("<!")) {
            next = constructEnd(xml, at + 2, ">");
            if (next != std::string_view::npos &&
                xml.substr(at, next - at).find('[') != std::string_view::npos) {
                return false; // an internal subset could declare entities
            }
        } else {
            next = constructEnd(xml, at + 1, ">");
            if (next == std::string_view::npos) {
                return false;
            }
            std::string_view tag = xml.substr(at + 1, next - at - 2);
            const bool closing = tag.starts_with('/');
            tag.remove_prefix(closing ? 1 : 0);
            std::size_t nameEnd = 0;
            while (nameEnd < tag.size() && isNameCharacter(tag[nameEnd])) {
                ++nameEnd;
            }
            const std::string_view name = tag.substr(0, nameEnd);
            if (equalsIgnoringCase(name, "array") || equalsIgnoringCase(name, "dict")) {
                std::string_view tail = tag.substr(nameEnd);
                const bool empty = !closing && tail.ends_with('/');
                tail.remove_suffix(empty ? 1 : 0);
                if (!std::all_of(tail.begin(), tail.end(), isBlank)) {
                    return false; // attributes: readers may end the tag in different places
                }
                if (closing) {
                    depth = std::max(0, depth - 1);
                } else if (!empty && ++depth > maxNesting) {
                    return false;
                }
            }
        }
        if (next == std::string_view::npos) {
            return false;
        }
        at = next;
    }
    return true;
}

// A big-endian unsigned number of `width` bytes at `at`; the caller checked the bounds.
std::uint64_t bigEndian(std::string_view bytes, std::size_t at, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

class BinaryWalk {
public:
    explicit BinaryWalk(std::string_view bytes) : bytes_(bytes) {}

    bool within(int maxNesting, std::size_t maxNodes) {
        constexpr std::size_t trailerBytes = 32;
        if (bytes_.size() < 8 + trailerBytes) {
            return false;
        }
        const std::size_t trailer = bytes_.size() - trailerBytes;
        offsetWidth_ = static_cast<unsigned char>(bytes_[trailer + 6]);
        refWidth_ = static_cast<unsigned char>(bytes_[trailer + 7]);
        const std::uint64_t count = bigEndian(bytes_, trailer + 8, 8);
        const std::uint64_t top = bigEndian(bytes_, trailer + 16, 8);
        tableAt_ = bigEndian(bytes_, trailer + 24, 8);
        if (offsetWidth_ < 1 || offsetWidth_ > 8 || refWidth_ < 1 || refWidth_ > 8 || count == 0 ||
            count > trailer || top >= count || tableAt_ > trailer ||
            (trailer - tableAt_) / offsetWidth_ < count) {
            return false;
        }
        count_ = static_cast<std::size_t>(count);
        state_.assign(count_, State{});
        return walk(static_cast<std::size_t>(top), maxNesting, maxNodes);
    }

private:
    struct State {
        std::uint8_t mark = 0;   // 0 unseen, 1 on the path, 2 done
        std::uint8_t levels = 0; // containers from here down, itself included
        std::uint32_t nodes = 0; // once shared objects are copied out, saturated
    };
    struct Frame {
        std::size_t object;
        std::size_t refsAt;
        std::size_t refs;
        bool container = false;
        std::size_t next = 0;
    };

    // The references of a container, or of none; false for what can't be read.
    bool references(std::size_t object, bool& container, std::size_t& refsAt,
                    std::size_t& refs) const {
        const std::size_t entry = tableAt_ + object * offsetWidth_;
        const std::uint64_t at = bigEndian(bytes_, entry, offsetWidth_);
        if (at < 8 || at >= tableAt_) {
            return false;
        }
        const auto marker = static_cast<unsigned char>(bytes_[at]);
        const unsigned kind = marker >> 4;
        refs = 0;
        refsAt = at + 1;
        container = kind == 0xA || kind == 0xB || kind == 0xC || kind == 0xD;
        if (!container) {
            return true;
        }
        std::uint64_t length = marker & 0xF;
        if (length == 0xF) {
            if (refsAt >= tableAt_) {
                return false;
            }
            const auto intMarker = static_cast<unsigned char>(bytes_[refsAt]);
            const std::size_t width = std::size_t{1} << (intMarker & 0xF);
            if ((intMarker >> 4) != 0x1 || width > 8 || tableAt_ - refsAt - 1 < width) {
                return false;
            }
            length = bigEndian(bytes_, refsAt + 1, width);
            refsAt += 1 + width;
        }
        const std::uint64_t perItem = kind == 0xD ? 2 : 1;
        if (length > (tableAt_ - refsAt) / refWidth_ / perItem) {
            return false;
        }
        refs = static_cast<std::size_t>(length * perItem);
        return true;
    }

    bool walk(std::size_t top, int maxNesting, std::size_t maxNodes) {
        std::vector<Frame> path;
        const auto enter = [&](std::size_t object) {
            Frame frame{object, 0, 0};
            if (!references(object, frame.container, frame.refsAt, frame.refs)) {
                return false;
            }
            state_[object].mark = 1;
            state_[object].nodes = 1;
            path.push_back(frame);
            return true;
        };
        if (!enter(top)) {
            return false;
        }
        while (!path.empty()) {
            Frame& frame = path.back();
            State& here = state_[frame.object];
            if (frame.next == frame.refs) {
                here.mark = 2;
                here.levels = static_cast<std::uint8_t>(here.levels + (frame.container ? 1 : 0));
                path.pop_back();
                if (!path.empty()) {
                    State& parent = state_[path.back().object];
                    parent.levels = std::max(parent.levels, here.levels);
                    parent.nodes = static_cast<std::uint32_t>(std::min<std::uint64_t>(
                        std::uint64_t{parent.nodes} + here.nodes, maxNodes + 1));
                }
                continue;
            }
            const std::uint64_t child =
                bigEndian(bytes_, frame.refsAt + frame.next * refWidth_, refWidth_);
            ++frame.next;
            if (child >= count_) {
                return false;
            }
            const State& seen = state_[child];
            if (seen.mark == 1) {
                return false; // a cycle
            }
            if (seen.mark == 2) {
                if (path.size() + seen.levels > static_cast<std::size_t>(maxNesting)) {
                    return false;
                }
                here.levels = std::max(here.levels, seen.levels);
                here.nodes = static_cast<std::uint32_t>(
                    std::min<std::uint64_t>(std::uint64_t{here.nodes} + seen.nodes, maxNodes + 1));
                continue;
            }
            if (path.size() > static_cast<std::size_t>(maxNesting)) {
                return false;
            }
            if (!enter(static_cast<std::size_t>(child))) {
                return false;
            }
        }
        return state_[top].nodes <= maxNodes && state_[top].levels <= maxNesting;
    }

    std::string_view bytes_;
    std::size_t offsetWidth_ = 0;
    std::size_t refWidth_ = 0;
    std::size_t tableAt_ = 0;
    std::size_t count_ = 0;
    std::vector<State> state_;
};

} // namespace

bool propertyListNestingWithin(std::string_view bytes, int maxNesting, std::size_t maxNodes) {
    if (bytes.starts_with(binaryMagic)) {
        return BinaryWalk(bytes).within(maxNesting, maxNodes);
    }
    return xmlWithin(bytes, maxNesting);
}

} // namespace twinlantern
