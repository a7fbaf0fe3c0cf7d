// torvane-cli: the upgrade engine without a window.

#include "cli/Commands.h"
#include "i18n/Deployment.h"
#include "platform/Host.h"
#include "series/SeriesUnits.h"

#include <cstring>
#include <iostream>

namespace torvane::cli {

void PrintUsage() {
    std::cout <<
        "usage: torvane-cli COMMAND [options]\n"
        "\n"
        "commands:\n"
        "  text KEY [--lang CODE]        print the message KEY in a language (default en)\n"
        "  languages [--lang CODE]       list the language packs: code, TAB, display name\n"
        "  upgrade --series E|F|H|T --ip ADDR [--port N] [--user U] [--password P]\n"
        "          [--firmware system|ui|both] [--lang CODE] [--server URL]\n"
        "          [--broadcast auto|ADDR] [--interface NAME] [--yes]\n"
        "                                upgrade one camera, printing the operation log\n"
        "  discover [--seconds N] [--find] [--broadcast auto|ADDR] [--interface NAME]\n"
        "           [--json]             search the LAN and list the cameras found, each\n"
        "                                with the network interface it answered on\n"
        "\n"
        "Settings: option.ini beside the program and in ~/.config/torvane-cli/ ([Global]\n"
        "server=URL of the firmware server, broadcast=auto to search on every network\n"
        "interface or an address for the search probes, interface=NAME to search on one\n"
        "network interface only).\n";
}

} // namespace torvane::cli

int main(int argc, char** argv) {
    using namespace torvane;
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        cli::PrintUsage();
        return argc < 2 ? cli::ExitUsage : cli::ExitOk;
    }
    LoadDeploymentSettings();
    RegisterSeriesAdapters();
    const std::string command = argv[1];
    try {
        if (command == "text") {
            return cli::RunText(argc, argv);
        }
        if (command == "languages") {
            return cli::RunLanguages(argc, argv);
        }
        if (command == "upgrade") {
            return cli::RunUpgrade(argc, argv);
        }
        if (command == "discover") {
            return cli::RunDiscover(argc, argv);
        }
    } catch (const std::exception& e) {
        std::cerr << "torvane-cli: " << e.what() << "\n";
        return cli::ExitFailed;
    }
    std::cerr << "torvane-cli: unknown command " << command << "\n";
    cli::PrintUsage();
    return cli::ExitUsage;
}
