// Commands whose engines have not landed yet.

#include "cli/Commands.h"

#include <iostream>

namespace torvane::cli {

int RunUpgrade(int, char**) {
    std::cerr << "torvane-cli upgrade: not available in this build\n";
    return ExitUsage;
}

int RunDiscover(int, char**) {
    std::cerr << "torvane-cli discover: not available in this build\n";
    return ExitUsage;
}

} // namespace torvane::cli
