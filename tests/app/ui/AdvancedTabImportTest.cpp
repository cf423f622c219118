#include "TwinLanternApp/ui/advanced/AdvancedTabImport.h"

#include "tests/support/HostileFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace twinlantern;
using namespace twinlantern::ui;

namespace {

TEST(ImportReader, ReadsARegularFileWhole) {
    tltest::TempDir dir;
    const std::string text = "{\"version\":1,\"profiles\":[]}\n";
    tltest::writeFile(dir / "x.json", text);
    const ImportRead read = readImportFile(dir / "x.json");
    EXPECT_EQ(read.kind, ImportRead::Kind::bytes);
    EXPECT_EQ(read.bytes, text);
}

TEST(ImportReader, TakesAFileOfExactlyTheLimitAndRefusesOneByteMore) {
    tltest::TempDir dir;
    tltest::writeFile(dir / "at.json", std::string(maxImportBytes, ' '));
    EXPECT_EQ(readImportFile(dir / "at.json").kind, ImportRead::Kind::bytes);
    tltest::writeFile(dir / "over.json", std::string(maxImportBytes + 1, ' '));
    const ImportRead over = readImportFile(dir / "over.json");
    EXPECT_EQ(over.kind, ImportRead::Kind::tooLarge);
    EXPECT_TRUE(over.bytes.empty());
}

TEST(ImportReader, MissingFileIsIgnored) {
    tltest::TempDir dir;
    EXPECT_EQ(readImportFile(dir / "gone.json").kind, ImportRead::Kind::ignored);
}

TEST(ImportReader, HostileFilesReturnAtOnceAndNeverFillMemory) {
    for (const auto& c : tltest::hostileCases()) {
        tltest::TempDir dir;
        const std::string path = dir / "x.json";
        tltest::makeHostile(c.kind, path, maxImportBytes, "{}");
        const auto start = std::chrono::steady_clock::now();
        const ImportRead read = readImportFile(path);
        EXPECT_LT(std::chrono::steady_clock::now() - start, tltest::hostileReadBound) << c.name;
        const bool huge =
            c.kind == tltest::Hostile::overLimit || c.kind == tltest::Hostile::sparseHuge;
        EXPECT_EQ(read.kind, huge ? ImportRead::Kind::tooLarge : ImportRead::Kind::ignored)
            << c.name;
        EXPECT_TRUE(read.bytes.empty()) << c.name;
    }
}

} // namespace
