// torvane-cli upgrade.

#include "cli/Commands.h"

#include <iostream>

namespace torvane::cli {

int RunUpgrade(int, char**) {
    std::cerr << "torvane-cli upgrade: not available in this build\n";
    return ExitUsage;
}


} // namespace torvane::cli
