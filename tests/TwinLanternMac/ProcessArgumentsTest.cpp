#include "TwinLanternMac/apps/ProcessArguments.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <thread>

namespace twinlantern {
namespace {

using Args = std::vector<std::string>;

std::string buffer(std::uint32_t count, std::string_view rest) {
    std::string out(4, '\0');
    std::memcpy(out.data(), &count, 4);
    out.append(rest);
    return out;
}

struct ParseCase {
    const char* name;
    std::string bytes;
    std::optional<Args> expected;
};

TEST(ProcessArgumentsParse, Cases) {
    using namespace std::string_literals;
    const std::vector<ParseCase> cases = {
        {"fewer than four bytes", "\x01\x00\x00"s, std::nullopt},
        {"exactly four bytes", buffer(1, ""), std::nullopt},
        {"count zero", buffer(0, "/bin/x\0x\0"s), std::nullopt},
        {"count 100000", buffer(100000, "/bin/x\0x\0"s), std::nullopt},
        {"no NUL after the path", buffer(1, "/bin/x"), std::nullopt},
        {"only NULs after the path", buffer(1, "/bin/x\0\0\0"s), std::nullopt},
        {"one argument", buffer(1, "/bin/x\0x\0"s), Args{"x"}},
        {"padding NULs", buffer(2, "/bin/x\0\0\0\0a\0b\0"s), Args{"a", "b"}},
        {"unterminated last", buffer(2, "/bin/x\0a\0b"s), Args{"a", "b"}},
        {"fewer strings than the count", buffer(3, "/bin/x\0a\0b\0"s), std::nullopt},
        {"environment after the count ignored", buffer(1, "/bin/x\0a\0HOME=/h\0"s), Args{"a"}},
        {"invalid UTF-8",
         buffer(1, "/bin/x\0a\xff"
                   "b\0"s),
         Args{"a\xEF\xBF\xBD"
              "b"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProcessArguments::parse(c.bytes), c.expected) << c.name;
    }
}

TEST(ProcessArgumentsParse, CountOf99999IsAccepted) {
    std::string rest = std::string("/x") + '\0';
    for (int i = 0; i < 99999; ++i) {
        rest += "a";
        rest += '\0';
    }
    const auto parsed = ProcessArguments::parse(buffer(99999, rest));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->size(), 99999u);
}

TEST(ProcessArgumentsLayout, CountsEveryStringOfCmdline) {
    using namespace std::string_literals;
    EXPECT_EQ(ProcessArguments::parse(ProcessArguments::layout("a\0\0b\0"s, "/bin/x")),
              (Args{"a", "", "b"}));
    EXPECT_EQ(ProcessArguments::parse(ProcessArguments::layout("a\0b"s, "/bin/x")),
              (Args{"a", "b"}));
    EXPECT_EQ(ProcessArguments::parse(ProcessArguments::layout("", "/bin/x")), std::nullopt);
}

TEST(ProcessArgumentsUserDataDirectory, Cases) {
    struct Case {
        Args arguments;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        {{"app", "--user-data-dir=/a/b/../c"}, "/a/c"},
        {{"app", "--user-data-dir", "/x/"}, "/x"},
        {{"app", "--user-data-dir="}, "/"},
        {{"--user-data-dir=/a"}, std::nullopt},
        {{"app", "--user-data-dir"}, std::nullopt},
        {{"app", "--user-data-dir", "/first", "--user-data-dir=/second"}, "/first"},
        {{"app", "--user-data-dir=/first", "--user-data-dir", "/second"}, "/first"},
        {{"app", "--user-data-dir", "--other"}, "/--other"},
        {{"app", "--user-data-directory=/x"}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProcessArguments::userDataDirectory(c.arguments), c.expected)
            << (c.arguments.empty() ? "(none)" : c.arguments.back());
    }
}

// A real shell child that waits, with awkward arguments after its script.
constexpr const char* script = "while :; do sleep 1; done";

class Child {
public:
    explicit Child(const Args& arguments) {
        std::vector<char*> argv;
        for (const auto& a : arguments) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        char* envp[] = {nullptr};
        EXPECT_EQ(::posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, argv.data(), envp), 0);
    }
    ~Child() { stop(); }
    pid_t pid() const { return pid_; }
    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
};

TEST(ProcessArgumentsOfProcess, ReadsARealChildExactly) {
    const Args arguments = {"sh",
                            "-c",
                            script,
                            "",
                            "with spaces",
                            "bad\xff"
                            "byte",
                            "--user-data-dir=/a/b",
                            "--user-data-dir",
                            "/c"};
    Child child(arguments);
    std::optional<Args> read;
    tltest::eventually([&] { // until exec is done
        read = ProcessArguments::arguments(child.pid());
        return read && read->size() == arguments.size();
    });
    Args expected = arguments;
    expected[5] = "bad\xEF\xBF\xBD"
                  "byte";
    EXPECT_EQ(read, expected);
    EXPECT_EQ(ProcessArguments::userDataDirectory(*read), "/a/b");
}

TEST(ProcessArgumentsOfProcess, NothingForGoneKernelAndInvalidPids) {
    Child child({"sh", "-c", script});
    const pid_t pid = child.pid();
    child.stop();
    EXPECT_EQ(ProcessArguments::arguments(pid), std::nullopt);
    EXPECT_EQ(ProcessArguments::arguments(2), std::nullopt); // kthreadd: empty cmdline
    EXPECT_EQ(ProcessArguments::arguments(0), std::nullopt);
    EXPECT_EQ(ProcessArguments::arguments(-1), std::nullopt);
    EXPECT_EQ(ProcessArguments::arguments(0x3fffffff), std::nullopt);
}

TEST(ProcessArgumentsOfProcess, NothingForAZombie) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(0);
    }
    // A zombie, not reaped yet, has an empty command line.
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT), 0);
    EXPECT_EQ(ProcessArguments::arguments(pid), std::nullopt);
    ::waitpid(pid, nullptr, 0);
}

} // namespace
} // namespace twinlantern
