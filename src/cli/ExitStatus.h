#pragma once
// The exit statuses of torvane-cli, in one place: the commands return these, and --help
// and the man page list them from ExitStatuses().

#include <vector>

namespace torvane::cli {

constexpr int ExitOk = 0;     // done; upgrade: the new firmware was installed and nothing failed
constexpr int ExitFailed = 1; // the operation failed
constexpr int ExitUsage = 2;  // a usage error: nothing was run
// "upgrade": nothing was installed and nothing failed (the camera already runs the version
// on offer and the user declined, or the catalogue excludes the camera's version).
constexpr int ExitNothingToInstall = 3;

struct TExitStatus {
    int Code;
    const char* Meaning; // English, for --help and the man page
};

[[nodiscard]] inline const std::vector<TExitStatus>& ExitStatuses() {
    static const std::vector<TExitStatus> table = {
        {ExitOk, "done (upgrade: the offered firmware runs, none failed)"},
        {ExitFailed, "failed (upgrade: a run failed, or it did not prove the new version)"},
        {ExitUsage, "usage error: a missing or bad option; nothing was run"},
        {ExitNothingToInstall, "upgrade: nothing was installed and nothing failed"},
    };
    return table;
}

} // namespace torvane::cli
