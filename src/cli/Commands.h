#pragma once
// The commands of torvane-cli. Each returns the process exit status: 0 success, 1 the
// operation failed, 2 a usage error.

namespace torvane::cli {

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

int RunText(int argc, char** argv);
int RunLanguages(int argc, char** argv);
int RunUpgrade(int argc, char** argv);
int RunDiscover(int argc, char** argv);

// The usage text of the whole tool.
void PrintUsage();

} // namespace torvane::cli
