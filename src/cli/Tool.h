#pragma once
// The whole of torvane-cli's command line: the options before the command, the command,
// its options and operands, checked before the command runs.

namespace torvane::cli {

// Runs the command line argv[1..]; returns the exit status (see ExitStatus.h).
int RunTool(int argc, char** argv);

} // namespace torvane::cli
