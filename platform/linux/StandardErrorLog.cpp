#include "core/base/FileUtil.h"
#include "platform/SystemLog.h"

#include <unistd.h>

namespace twinlantern::platform {

namespace {

class StandardErrorLog final : public SystemLog {
public:
    void write(std::string_view category, LogLevel level, std::string_view message) override {
        writeAll(STDERR_FILENO, logLine(category, level, message));
    }
};

} // namespace

std::string logLine(std::string_view category, LogLevel level, std::string_view message) {
    std::string line = "twinlantern[" + std::string(category) + "]: ";
    if (level == LogLevel::error) {
        line += "error: ";
    }
    for (const char c : message) {
        const auto u = static_cast<unsigned char>(c);
        line += u < 0x20 || u == 0x7F ? ' ' : c;
    }
    line += '\n';
    return line;
}

std::unique_ptr<SystemLog> makeStandardErrorLog() {
    return std::make_unique<StandardErrorLog>();
}

} // namespace twinlantern::platform
