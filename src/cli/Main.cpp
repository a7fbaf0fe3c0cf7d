// torvane-cli: the upgrade engine without a window.

#include "cli/Tool.h"

int main(int argc, char** argv) {
    return torvane::cli::RunTool(argc, argv);
}
