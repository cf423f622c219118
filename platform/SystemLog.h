#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace twinlantern::platform {

enum class LogLevel { normal, error };

// Where the app's diagnostic lines go.
class SystemLog {
public:
    virtual ~SystemLog() = default;
    virtual void write(std::string_view category, LogLevel level, std::string_view message) = 0;
};

// Lines on standard error: "twinlantern[<category>]: <message>", with "error: " before the
// message at error level. Each line goes out in one write, so lines from threads don't mix;
// control characters in the message become spaces, so one message is one line.
std::unique_ptr<SystemLog> makeStandardErrorLog();

// The line the standard-error log writes, line feed included.
std::string logLine(std::string_view category, LogLevel level, std::string_view message);

// A log bound to one category.
class Logger {
public:
    Logger(SystemLog& log, std::string category) : log_(&log), category_(std::move(category)) {}
    void log(std::string_view message) const { log_->write(category_, LogLevel::normal, message); }
    void error(std::string_view message) const { log_->write(category_, LogLevel::error, message); }
    const std::string& category() const { return category_; }

private:
    SystemLog* log_;
    std::string category_;
};

} // namespace twinlantern::platform
