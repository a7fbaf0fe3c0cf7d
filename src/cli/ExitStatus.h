#pragma once
// The exit statuses of torvane-cli, in one place: the commands return these, and --help
// and the man page list them from ExitStatuses().

#include <vector>

namespace torvane::cli {

constexpr int ExitOk = 0;     // done: every run ended with the camera working again
constexpr int ExitFailed = 1; // the operation failed
constexpr int ExitUsage = 2;  // a usage error: nothing was run
// Reserved for "upgrade": the camera already runs the firmware on offer, so nothing was
// installed. Add its row to ExitStatuses() when a command returns it.
constexpr int ExitNothingToInstall = 3;

struct TExitStatus {
    int Code;
    const char* Meaning; // English, for --help and the man page
};

[[nodiscard]] inline const std::vector<TExitStatus>& ExitStatuses() {
    static const std::vector<TExitStatus> table = {
        {ExitOk, "done; for upgrade: every run ended with the camera working again"},
        {ExitFailed, "the operation failed (for upgrade: a run ended otherwise)"},
        {ExitUsage, "usage error: a missing or bad option; nothing was run"},
    };
    return table;
}

} // namespace torvane::cli
