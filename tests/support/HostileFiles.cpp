#include "tests/support/HostileFiles.h"

#include "core/base/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace twinlantern::testing {

const std::vector<HostileCase>& hostileCases() {
    static const std::vector<HostileCase> cases = {
        {Hostile::fifo, "a FIFO"},
        {Hostile::folder, "a folder"},
        {Hostile::devZeroLink, "a link to /dev/zero"},
        {Hostile::overLimit, "a file one byte over the limit"},
        {Hostile::sparseHuge, "a sparse 2 GB file"},
    };
    return cases;
}

void makeHostile(Hostile kind, const std::string& path, std::size_t limit,
                 std::string_view validText) {
    switch (kind) {
    case Hostile::fifo:
        ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0) << path;
        return;
    case Hostile::folder:
        ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path;
        return;
    case Hostile::devZeroLink:
        ASSERT_EQ(::symlink("/dev/zero", path.c_str()), 0) << path;
        return;
    case Hostile::overLimit:
    case Hostile::sparseHuge: {
        UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        ASSERT_TRUE(fd) << path;
        std::string text(validText);
        if (kind == Hostile::overLimit) {
            ASSERT_LE(text.size(), limit);
            text.resize(limit + 1, ' ');
        }
        ASSERT_EQ(::write(fd.get(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
        if (kind == Hostile::sparseHuge) {
            ASSERT_EQ(::ftruncate(fd.get(), off_t{2} << 30), 0);
        }
        return;
    }
    }
}

FolderSnapshot snapshot(const std::string& path) {
    FolderSnapshot out;
    const auto slash = path.rfind('/');
    const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    if (UniqueDir dir(::opendir(folder.c_str())); dir) {
        while (const dirent* entry = ::readdir(dir.get())) {
            out.entries.emplace_back(entry->d_name);
        }
    }
    std::sort(out.entries.begin(), out.entries.end());
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        out.mode = st.st_mode;
        out.size = static_cast<long long>(st.st_size);
    }
    return out;
}

void PrintTo(const FolderSnapshot& snapshot, std::ostream* out) {
    *out << "mode " << std::oct << snapshot.mode << std::dec << ", size " << snapshot.size
         << ", folder [";
    for (const auto& entry : snapshot.entries) {
        *out << " " << entry;
    }
    *out << " ]";
}

std::string deepPropertyList(std::size_t depth, bool binary, std::string_view identifier) {
    if (!binary) {
        std::string xml =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
            "<key>CFBundleIdentifier</key><string>";
        xml.append(identifier);
        xml += "</string><key>CFBundleExecutable</key><string>Claude</string><key>Deep</key>";
        for (std::size_t i = 0; i < depth; ++i) {
            xml += "<array>";
        }
        for (std::size_t i = 0; i < depth; ++i) {
            xml += "</array>";
        }
        return xml + "</dict></plist>\n";
    }
    // Objects: the dictionary, its three keys, two strings, then the arrays, each holding
    // the next; references and offsets four bytes wide.
    const auto be32 = [](std::string& out, std::uint64_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            out.push_back(static_cast<char>((value >> shift) & 0xFF));
        }
    };
    const auto ascii = [](std::string& out, std::string_view text) {
        if (text.size() < 15) {
            out.push_back(static_cast<char>(0x50 | text.size()));
        } else {
            out.push_back(static_cast<char>(0x5F));
            out.push_back(static_cast<char>(0x12)); // a four-byte length
            for (int shift = 24; shift >= 0; shift -= 8) {
                out.push_back(static_cast<char>((text.size() >> shift) & 0xFF));
            }
        }
        out.append(text);
    };
    std::string out = "bplist00";
    std::vector<std::uint64_t> offsets;
    offsets.push_back(out.size());
    out.push_back(static_cast<char>(0xD3));
    for (std::uint64_t ref : {1, 2, 3, 4, 5, 6}) {
        be32(out, ref);
    }
    for (std::string_view text :
         {std::string_view("CFBundleIdentifier"), std::string_view("CFBundleExecutable"),
          std::string_view("Deep"), identifier, std::string_view("Claude")}) {
        offsets.push_back(out.size());
        ascii(out, text);
    }
    for (std::size_t i = 0; i < depth; ++i) {
        offsets.push_back(out.size());
        if (i + 1 < depth) {
            out.push_back(static_cast<char>(0xA1));
            be32(out, offsets.size());
        } else {
            out.push_back(static_cast<char>(0xA0));
        }
    }
    const std::uint64_t table = out.size();
    for (std::uint64_t offset : offsets) {
        be32(out, offset);
    }
    out.append(6, '\0');
    out.push_back(4); // offset width
    out.push_back(4); // reference width
    const auto be64 = [&out](std::uint64_t value) {
        for (int shift = 56; shift >= 0; shift -= 8) {
            out.push_back(static_cast<char>((value >> shift) & 0xFF));
        }
    };
    be64(offsets.size());
    be64(0);
    be64(table);
    return out;
}

} // namespace twinlantern::testing
