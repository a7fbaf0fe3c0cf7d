// torvane-cli: the upgrade engine without a window.

#include "cli/QuitSignals.h"
#include "cli/Tool.h"

int main(int argc, char** argv) {
    const torvane::cli::TQuitSignals quitSignals; // before any other thread starts
    return torvane::cli::RunTool(argc, argv);
}
