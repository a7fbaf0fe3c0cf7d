// torvane-cli discover.

#include "cli/Commands.h"

#include <iostream>

namespace torvane::cli {

int RunDiscover(int, char**) {
    std::cerr << "torvane-cli discover: not available in this build\n";
    return ExitUsage;
}

} // namespace torvane::cli
