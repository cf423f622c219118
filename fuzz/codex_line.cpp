// Lines of arbitrary bytes through the Codex line reader, sharing one file's state.
#include "core/usage/LocalLogUsageProvider.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace twinlantern;
using Provider = LocalLogUsageProvider;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    Provider::CodexLineState state;
    while (true) {
        const std::size_t lf = rest.find('\n');
        const std::string_view line = rest.substr(0, lf);
        if (auto event = Provider::parseCodexLine(line, "rollout.jsonl", Instant::min(), state)) {
            if (event->input < 0 || event->session != "rollout.jsonl") {
                std::abort(); // input is floored at 0; every event belongs to its file
            }
        }
        (void)Provider::parseDate(line);
        if (lf == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(lf + 1);
    }
    return 0;
}
