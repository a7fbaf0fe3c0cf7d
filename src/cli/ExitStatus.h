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
        {ExitOk, "done; for upgrade: every run ended with the camera running the firmware on "
                 "offer, at least one of them by installing it"},
        {ExitFailed, "the operation failed; for upgrade: a run failed, a camera that came "
                     "back on its old version or whose version could not be read included"},
        {ExitUsage, "usage error: a missing or bad option, or --series auto found no camera "
                    "at that address; nothing was run"},
        {ExitNothingToInstall, "upgrade only: nothing was installed and nothing failed (the "
                               "same version declined, or the camera's version excluded by "
                               "the catalogue)"},
    };
    return table;
}

} // namespace torvane::cli
