#pragma once

#include "platform/SystemLog.h"

#include <string>
#include <vector>

namespace twinlantern::platform {

// Keeps every line for a test to read.
class RecordingLog final : public SystemLog {
public:
    struct Entry {
        std::string category;
        LogLevel level;
        std::string message;
        friend bool operator==(const Entry&, const Entry&) = default;
    };

    void write(std::string_view category, LogLevel level, std::string_view message) override {
        entries.push_back({std::string(category), level, std::string(message)});
    }

    // The messages alone, in order.
    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const auto& entry : entries) {
            out.push_back(entry.message);
        }
        return out;
    }

    std::vector<Entry> entries;
};

} // namespace twinlantern::platform
