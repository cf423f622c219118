#include "tests/e2e/ShimFixture.h"

#include "core/profiles/ProfileStore.h"

#include <unistd.h>

namespace twinlantern::testing {

void ShimFixture::SetUp() {
    ASSERT_TRUE(exists(resolver())) << resolver();
    makeDirs(home.paths.shimDirectory());
    for (const char* name : {"claude", "codex", "foo"}) {
        ASSERT_EQ(::symlink(resolver().c_str(), shim(name).c_str()), 0);
    }
    tools = dir("tools");
    claudeTool = fakeTool(tools, "claude");
    codexTool = fakeTool(tools, "codex");
    fooTool = fakeTool(tools, "foo");
}

std::string ShimFixture::dir(const std::string& relative) const {
    makeDirs(home.dir / relative);
    return home.dir / relative;
}

void ShimFixture::store(const ProfileDocument& document) const {
    ProfileStore(home.paths).update([&](ProfileDocument& d) { d = document; });
}

Environment ShimFixture::baseEnv() const {
    return {{"HOME", home.home()},
            {"PATH", home.paths.shimDirectory() + ":" + tools + ":/usr/bin:/bin"}};
}

RunResult ShimFixture::runShim(const std::string& name, const std::vector<std::string>& args,
                               const Environment& env, const std::string& cwd) const {
    std::vector<std::string> argv{name};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(shim(name), argv, env, cwd);
}

} // namespace twinlantern::testing
