#pragma once

#include <string>

namespace twinlantern::bench {

// Writes a realistic log set below folder:
//   claude/projects/…  1,000 Claude Code files, 1 GiB, one of 300 MB, 30 % older than a week
//   codex/sessions/…   300 Codex rollout files
//   many/projects/…    2,000 small Claude Code files
void generateLogs(const std::string& folder);
// Claude Code files where nearly every line carries usage, below folder/name/projects:
// dense is 500 files of 1 GiB (about 750,000 records), dense100 200 files of 100 MiB.
void generateDenseLogs(const std::string& folder, const std::string& name, int count,
                       std::size_t bytes);

} // namespace twinlantern::bench
