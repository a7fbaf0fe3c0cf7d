// The window program: one main window per user and session; a second copy tells the user,
// brings the first copy's window to the front and ends.

#include "TorvaneVersion.h"
#include "app/QtHost.h"
#include "app/WindowProgram.h"

#include <cstring>
#include <iostream>
#include <memory>

namespace {

const char* const HelpText =
    "usage: torvane [Qt options]\n"
    "       torvane --help | --version\n"
    "\n"
    "Upgrades the firmware of IP cameras on the local network: pick a camera found by the\n"
    "search or type its address, then press \"Upgrade Firmware\". One window runs per user;\n"
    "starting the program again brings it to the front.\n"
    "\n"
    "options:\n"
    "  -h, --help   print this help and exit\n"
    "  --version    print the version and exit\n"
    "Other arguments are options of the Qt toolkit, such as -platform NAME.\n"
    "\n"
    "Settings: ~/.config/torvane/option.ini, section [Global]: lan (the interface language,\n"
    "written by the window), server (the firmware server's URL), broadcast (the search's\n"
    "destination address).\n"
    "\n"
    "See man torvane; torvane-cli runs the same upgrades without a window.\n";

// --help and --version print and end the program before anything else happens: no
// window, no display, no look for a running copy.
bool PrintInformation(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << HelpText << std::flush;
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "torvane " << torvane::TorvaneVersion << std::endl;
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    if (PrintInformation(argc, argv)) {
        return 0;
    }
    return torvane::RunWindowProgram(argc, argv,
                                     [] { return std::make_unique<torvane::TQtHost>(); });
}
