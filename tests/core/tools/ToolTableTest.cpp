#include "core/base/ToolKind.h"
#include "core/tools/ToolRegistry.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace twinlantern;
using namespace twinlantern::testing;

TEST(ToolTable, EveryKindFindsItsOwnRow) {
    for (ToolKind kind : allToolKinds) {
        SCOPED_TRACE(rawValue(kind));
        EXPECT_EQ(toolInfo(kind).kind, kind);
        EXPECT_EQ(toolKindFromRawValue(rawValue(kind)), kind);
        EXPECT_EQ(toolKindFromArgument(rawValue(kind)), kind);
        if (isApp(kind)) {
            EXPECT_STREQ(toolInfo(kind).command, "");
        } else {
            EXPECT_EQ(toolKindFromCommand(toolInfo(kind).command), kind);
        }
    }
    EXPECT_EQ(toolKindFromCommand(""), std::nullopt);
    EXPECT_EQ(toolKindFromCommand("Claude"), std::nullopt);
}

// A row copied for a new tool and not fully edited would put two tools' sign-ins in one
// folder, or let one shim act for two tools.
TEST(ToolTable, NoTwoToolsShareANameOrFolder) {
    std::set<std::string> raw, folders, words, commands, variables;
    for (ToolKind kind : allToolKinds) {
        const ToolInfo& row = toolInfo(kind);
        SCOPED_TRACE(row.rawValue);
        EXPECT_TRUE(raw.insert(row.rawValue).second);
        EXPECT_TRUE(folders.insert(row.dataFolderName).second);
        for (std::string_view word : row.words) {
            EXPECT_TRUE(words.insert(std::string(word)).second) << word;
        }
        if (!row.isApp) {
            EXPECT_TRUE(commands.insert(row.command).second);
            EXPECT_TRUE(variables.insert(row.configVariable).second);
        }
    }
}

TEST(ToolTable, RegistryBuildsEachTerminalToolsOwnAdapter) {
    TempHome home;
    const ToolContext context{home.paths, {}};
    for (ToolKind kind : allToolKinds) {
        SCOPED_TRACE(rawValue(kind));
        const auto adapter = ToolRegistry::adapter(kind, context);
        if (isApp(kind)) {
            EXPECT_EQ(adapter, nullptr);
        } else {
            ASSERT_NE(adapter, nullptr);
            EXPECT_EQ(adapter->kind(), kind);
        }
    }
    const auto adapters = ToolRegistry::cliAdapters(context);
    ASSERT_EQ(adapters.size(), terminalTools.size());
    for (std::size_t i = 0; i < adapters.size(); ++i) {
        ASSERT_NE(adapters[i], nullptr);
        EXPECT_EQ(adapters[i]->kind(), terminalTools[i]);
    }
}
