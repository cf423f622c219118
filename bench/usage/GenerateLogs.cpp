#include "bench/usage/GenerateLogs.h"

#include "core/base/FileUtil.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace twinlantern::bench {

namespace {

using Clock = std::chrono::system_clock;
constexpr std::int64_t day = 86400;

std::mt19937_64 rng(20261210);

std::int64_t uniform(std::int64_t lo, std::int64_t hi) {
    return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng);
}

std::string hexId(int length) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < length; ++i) {
        s += digits[uniform(0, 15)];
    }
    return s;
}

std::string uuid() {
    return hexId(8) + "-" + hexId(4) + "-" + hexId(4) + "-" + hexId(4) + "-" + hexId(12);
}

std::string iso(std::int64_t unixSeconds, int millis) {
    std::time_t t = unixSeconds;
    std::tm tm{};
    ::gmtime_r(&t, &tm);
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
    return buffer;
}

// Pieces of JSON-escaped program output (code, paths, quotes, line breaks) that tool
// results are made of.
const std::vector<std::string>& textPool() {
    static const std::vector<std::string> pool = [] {
        static const char* words[] = {
            "const",  "auto",    "return",  "std::string", "if",   "for",  "src/main.cpp",
            "error:", "warning", "void",    "int",         "=",    "{",    "}",
            "(",      ")",       "//",      "value",       "path", "test", "0x1f",
            "usage",  "token",   "npm",     "build",       "::",   "->",   "\\\"quoted\\\"",
            "\\\\",   "\\t",     "ünïcödé", "/usr/lib"};
        std::vector<std::string> pieces;
        for (int p = 0; p < 64; ++p) {
            std::string s;
            while (s.size() < 4096) {
                s += words[uniform(0, std::size(words) - 1)];
                s += uniform(0, 7) == 0 ? "\\n" : " ";
            }
            pieces.push_back(std::move(s));
        }
        return pieces;
    }();
    return pool;
}

std::string text(std::size_t bytes) {
    const auto& pool = textPool();
    std::string s;
    s.reserve(bytes + 4096);
    while (s.size() < bytes) {
        s += pool[uniform(0, pool.size() - 1)];
    }
    // Cut at a space so that no escape is split.
    std::size_t cut = s.find(' ', bytes);
    s.resize(cut == std::string::npos ? bytes : cut);
    while (!s.empty() && s.back() == '\\') {
        s.pop_back();
    }
    return s;
}

std::size_t toolResultSize() {
    std::int64_t r = uniform(0, 99);
    if (r < 70) {
        return uniform(200, 2000);
    }
    if (r < 95) {
        return uniform(2000, 30000);
    }
    return uniform(30000, 300000);
}

class Writer {
public:
    explicit Writer(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "wb")) {
        if (file_ == nullptr) {
            throw std::runtime_error("cannot write " + path);
        }
        std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
    }
    ~Writer() { std::fclose(file_); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // False, and nothing written, when the line would take the file past its size.
    bool fits(const std::string& s, std::size_t size) const {
        return written_ == 0 || written_ + s.size() + 1 <= size;
    }
    void line(const std::string& s) {
        std::fwrite(s.data(), 1, s.size(), file_);
        std::fputc('\n', file_);
        written_ += s.size() + 1;
    }
    std::size_t written() const { return written_; }

private:
    std::string path_;
    std::FILE* file_;
    std::size_t written_ = 0;
};

void setMtime(const std::string& path, std::int64_t unixSeconds) {
    timespec times[2] = {{unixSeconds, 0}, {unixSeconds, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

struct ClaudeFile {
    std::string path;
    std::size_t bytes;
    std::int64_t end; // last timestamp and modification time
};

// One Claude Code session: big tool results without usage, about one line in ten
// with usage, responses often logged twice with a placeholder output count first.
void writeClaudeFile(const ClaudeFile& f) {
    Writer out(f.path);
    const std::string session = uuid();
    const std::string prefix =
        R"({"parentUuid":")" + uuid() +
        R"(","isSidechain":false,"userType":"external","cwd":"/home/user/src/project","sessionId":")" +
        session + R"(","version":"2.0.31","gitBranch":"main",)";
    const std::int64_t lines = 1 + static_cast<std::int64_t>(f.bytes / 9000);
    const std::int64_t start = f.end - std::min<std::int64_t>(lines * 5, 4 * day);
    std::int64_t n = 0;
    auto put = [&](const std::string& line) {
        if (!out.fits(line, f.bytes)) {
            return false;
        }
        out.line(line);
        return true;
    };
    // Lines that would overrun the size are passed over until the file is nearly full.
    while (out.written() + 1000 < f.bytes) {
        const std::int64_t t = start + (f.end - start) * n / lines;
        const std::string stamp = iso(t, static_cast<int>(n % 1000));
        ++n;
        if (n % 10 == 0) {
            const std::string message = "msg_" + hexId(24), request = "req_" + hexId(24);
            const std::string content = text(uniform(100, 1500));
            const std::int64_t output = uniform(20, 2000);
            auto line = [&](std::int64_t outputTokens) {
                return prefix + R"("message":{"id":")" + message +
                       R"(","type":"message","role":"assistant","model":"claude-sonnet-4-5","content":[{"type":"text","text":")" +
                       content +
                       R"("}],"stop_reason":null,"stop_sequence":null,"usage":{"input_tokens":)" +
                       std::to_string(uniform(1, 50)) + R"(,"cache_creation_input_tokens":)" +
                       std::to_string(uniform(0, 5000)) + R"(,"cache_read_input_tokens":)" +
                       std::to_string(uniform(1000, 90000)) +
                       R"(,"cache_creation":{"ephemeral_5m_input_tokens":0,"ephemeral_1h_input_tokens":0},"output_tokens":)" +
                       std::to_string(outputTokens) +
                       R"(,"service_tier":"standard"}},"requestId":")" + request +
                       R"(","type":"assistant","uuid":")" + uuid() + R"(","timestamp":")" + stamp +
                       R"("})";
            };
            if (uniform(0, 1) == 0) {
                put(line(1)); // streaming placeholder
                ++n;
            }
            put(line(output));
        } else if (n % 10 < 7) {
            const std::string result = text(toolResultSize());
            put(prefix +
                R"("type":"user","message":{"role":"user","content":[{"tool_use_id":"toolu_)" +
                hexId(24) + R"(","type":"tool_result","content":")" + result +
                R"(","is_error":false}]},"uuid":")" + uuid() + R"(","timestamp":")" + stamp +
                R"(","toolUseResult":{"stdout":")" + result +
                R"(","stderr":"","interrupted":false,"isImage":false}})");
        } else {
            put(prefix + R"("type":"user","message":{"role":"user","content":")" +
                text(uniform(50, 400)) + R"("},"uuid":")" + uuid() + R"(","timestamp":")" + stamp +
                R"("})");
        }
    }
}

// A Claude Code session as the tool writes it today: nearly every line is an
// assistant line carrying usage, one to three lines per response (one per content
// block, the early ones with a placeholder output count), a short tool result now
// and then.
void writeDenseClaudeFile(const ClaudeFile& f) {
    Writer out(f.path);
    const std::string session = uuid();
    const std::string prefix =
        R"({"parentUuid":")" + uuid() +
        R"(","isSidechain":false,"userType":"external","cwd":"/home/user/src/project","sessionId":")" +
        session + R"(","version":"2.0.31","gitBranch":"main",)";
    const std::int64_t lines = 1 + static_cast<std::int64_t>(f.bytes / 1000);
    const std::int64_t start = f.end - std::min<std::int64_t>(lines * 2, 4 * day);
    std::int64_t n = 0;
    while (out.written() + 2000 < f.bytes) {
        const std::string message = "msg_" + hexId(24), request = "req_" + hexId(24);
        const std::int64_t input = uniform(1, 50), creation = uniform(0, 5000),
                           read = uniform(1000, 90000), output = uniform(20, 2000);
        const int blocks = static_cast<int>(uniform(1, 3));
        for (int b = 0; b < blocks; ++b) {
            const std::int64_t t = start + (f.end - start) * n / lines;
            ++n;
            const std::int64_t outputTokens = b + 1 < blocks ? uniform(1, 10) : output;
            out.line(
                prefix + R"("message":{"id":")" + message +
                R"(","type":"message","role":"assistant","model":"claude-sonnet-4-5","content":[{"type":"text","text":")" +
                text(uniform(150, 900)) +
                R"("}],"stop_reason":null,"stop_sequence":null,"usage":{"input_tokens":)" +
                std::to_string(input) + R"(,"cache_creation_input_tokens":)" +
                std::to_string(creation) + R"(,"cache_read_input_tokens":)" + std::to_string(read) +
                R"(,"cache_creation":{"ephemeral_5m_input_tokens":0,"ephemeral_1h_input_tokens":0},"output_tokens":)" +
                std::to_string(outputTokens) + R"(,"service_tier":"standard"}},"requestId":")" +
                request + R"(","type":"assistant","uuid":")" + uuid() + R"(","timestamp":")" +
                iso(t, static_cast<int>(n % 1000)) + R"("})");
        }
        if (uniform(0, 9) == 0) {
            const std::int64_t t = start + (f.end - start) * n / lines;
            ++n;
            out.line(prefix +
                     R"("type":"user","message":{"role":"user","content":[{"tool_use_id":"toolu_)" +
                     hexId(24) + R"(","type":"tool_result","content":")" + text(uniform(100, 600)) +
                     R"(","is_error":false}]},"uuid":")" + uuid() + R"(","timestamp":")" +
                     iso(t, 0) + R"("})");
        }
    }
}

void writeCodexFile(const std::string& path, std::int64_t end) {
    Writer out(path);
    std::int64_t input = 0, cached = 0, output = 0;
    const int turns = static_cast<int>(uniform(5, 60));
    std::int64_t t = end - turns * 30;
    out.line(
        R"({"timestamp":")" + iso(t, 0) + R"(","type":"session_meta","payload":{"id":")" + uuid() +
        R"(","cwd":"/home/user/src/project","originator":"codex_cli_rs","cli_version":"0.46.0"}})");
    out.line(
        R"({"timestamp":")" + iso(t, 1) +
        R"(","type":"event_msg","payload":{"type":"token_count","info":null,"rate_limits":null}})");
    for (int turn = 0; turn < turns; ++turn) {
        t += 30;
        out.line(
            R"({"timestamp":")" + iso(t, 0) +
            R"(","type":"response_item","payload":{"type":"message","role":"user","content":[{"type":"input_text","text":")" +
            text(uniform(50, 500)) + R"("}]}})");
        out.line(
            R"({"timestamp":")" + iso(t, 5) +
            R"(","type":"response_item","payload":{"type":"function_call_output","call_id":"call_)" +
            hexId(24) + R"(","output":")" + text(toolResultSize() / 2) + R"("}})");
        const std::int64_t in = uniform(2000, 40000), ca = uniform(0, in), ou = uniform(50, 3000);
        input += in, cached += ca, output += ou;
        auto usage = [](std::int64_t i, std::int64_t c, std::int64_t o) {
            return R"({"input_tokens":)" + std::to_string(i) + R"(,"cached_input_tokens":)" +
                   std::to_string(c) + R"(,"output_tokens":)" + std::to_string(o) +
                   R"(,"reasoning_output_tokens":0,"total_tokens":)" + std::to_string(i + o) + "}";
        };
        const std::string line =
            R"({"timestamp":")" + iso(t, 9) +
            R"(","type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":)" +
            usage(input, cached, output) + R"(,"last_token_usage":)" + usage(in, ca, ou) +
            R"(,"model_context_window":272000},"rate_limits":{"primary":{"used_percent":12.0,"window_minutes":300}}}})";
        out.line(line);
        if (uniform(0, 2) == 0) {
            out.line(line); // the same totals again
        }
    }
    setMtime(path, end);
}

void makeFolder(const std::string& path) {
    if (!makeDirectories(path, 0755)) {
        throw std::runtime_error("cannot create " + path);
    }
}

} // namespace

void generateLogs(const std::string& folder) {
    const std::int64_t now = Clock::to_time_t(Clock::now());
    // Claude Code: 1,000 files, 1 GiB, one of 300 MB, 30 % older than a week.
    std::vector<ClaudeFile> files;
    const std::size_t total = std::size_t{1} << 30, big = 300u << 20;
    std::vector<double> weights;
    double weightSum = 0;
    for (int i = 1; i < 1000; ++i) {
        weights.push_back(std::exponential_distribution<double>(1.0)(rng) + 0.05);
        weightSum += weights.back();
    }
    for (int i = 0; i < 1000; ++i) {
        const std::string project =
            folder + "/claude/projects/-home-user-src-project" + std::to_string(i % 40);
        makeFolder(project);
        std::size_t bytes =
            i == 0 ? big : static_cast<std::size_t>(weights[i - 1] / weightSum * (total - big));
        bool old = i % 10 < 3 && i != 0;
        std::int64_t end = old ? now - uniform(8 * day, 60 * day) : now - uniform(0, 5 * day);
        files.push_back({project + "/" + uuid() + ".jsonl", bytes, end});
    }
    std::size_t written = 0;
    for (const ClaudeFile& f : files) {
        writeClaudeFile(f);
        setMtime(f.path, f.end);
        written += f.bytes;
    }
    std::printf("claude: %zu files, %.2f GiB\n", files.size(),
                static_cast<double>(written) / (1 << 30));
    // Codex: a few hundred rollout files.
    for (int i = 0; i < 300; ++i) {
        const std::int64_t end = now - uniform(0, 10 * day);
        std::time_t te = end;
        std::tm tm{};
        ::gmtime_r(&te, &tm);
        char day_[64];
        std::snprintf(day_, sizeof day_, "%04d/%02d/%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                      tm.tm_mday);
        const std::string dir = folder + "/codex/sessions/" + day_;
        makeFolder(dir);
        writeCodexFile(dir + "/rollout-" + iso(end, 0).substr(0, 19) + "-" + uuid() + ".jsonl",
                       end);
    }
    std::printf("codex: 300 files\n");
    // Many small files for the nothing-changed case.
    for (int i = 0; i < 2000; ++i) {
        const std::string project = folder + "/many/projects/p" + std::to_string(i % 50);
        makeFolder(project);
        ClaudeFile f{project + "/" + uuid() + ".jsonl",
                     static_cast<std::size_t>(uniform(2000, 40000)), now - uniform(0, 6 * day)};
        writeClaudeFile(f);
        setMtime(f.path, f.end);
    }
    std::printf("many: 2000 files\n");
}

void generateDenseLogs(const std::string& folder, const std::string& name, int count,
                       std::size_t total) {
    const std::int64_t now = Clock::to_time_t(Clock::now());
    // A tenth of the files older than a week.
    std::vector<double> weights;
    double weightSum = 0;
    for (int i = 0; i < count; ++i) {
        weights.push_back(std::exponential_distribution<double>(1.0)(rng) + 0.05);
        weightSum += weights.back();
    }
    std::size_t written = 0;
    for (int i = 0; i < count; ++i) {
        const std::string project =
            folder + "/" + name + "/projects/-home-user-src-project" + std::to_string(i % 40);
        makeFolder(project);
        const bool old = i % 10 == 9;
        ClaudeFile f{project + "/" + uuid() + ".jsonl",
                     static_cast<std::size_t>(weights[i] / weightSum * total),
                     old ? now - uniform(8 * day, 60 * day) : now - uniform(0, 5 * day)};
        writeDenseClaudeFile(f);
        setMtime(f.path, f.end);
        written += f.bytes;
    }
    std::printf("%s: %d files, %.2f GiB\n", name.c_str(), count,
                static_cast<double>(written) / (1 << 30));
}

} // namespace twinlantern::bench
