#pragma once

#include <string>

namespace twinlantern::bench {

// Writes a realistic log set below folder:
//   claude/projects/…  1,000 Claude Code files, 1 GiB, one of 300 MB, 30 % older than a week
//   codex/sessions/…   300 Codex rollout files
//   many/projects/…    2,000 small Claude Code files
void generateLogs(const std::string& folder);
//   dense/projects/…   500 Claude Code files, 1 GiB, nearly every line with usage
void generateDenseLogs(const std::string& folder);

} // namespace twinlantern::bench
