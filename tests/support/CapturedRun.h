#pragma once
// A program run to its end with its standard output and standard error kept apart and a
// given text on its standard input, for tests that check which stream says what:
//
//     const TCapturedRun run = RunCaptured({TORVANE_CLI_PATH, "text", "NOPE"}, {}, "");
//     EXPECT_EQ(run.ExitCode, 1);
//     EXPECT_TRUE(run.Out.empty());
//
// The streams go through files in a private folder, so a child that writes much never
// stalls on a full pipe. A child still running at the time-out is killed (ExitCode -1).

#include <chrono>
#include <string>
#include <vector>

namespace torvane::test {

struct TCapturedRun {
    int ExitCode = -1; // -1 when a signal ended it or it was killed at the time-out
    std::string Out;
    std::string Err;
    // Err cut into lines (without their LF).
    [[nodiscard]] std::vector<std::string> ErrLines() const;
    [[nodiscard]] std::vector<std::string> OutLines() const;
};

// Runs argv (argv[0] the program's path). extraEnv entries ("NAME=value") replace the
// test's variables of the same name; "NAME" alone removes the variable. stdinText is the
// whole standard input.
[[nodiscard]] TCapturedRun RunCaptured(const std::vector<std::string>& argv,
                                       const std::vector<std::string>& extraEnv,
                                       const std::string& stdinText,
                                       std::chrono::milliseconds timeout =
                                           std::chrono::seconds(60));

} // namespace torvane::test
