// torvane-camsim: simulated cameras and a firmware server on loopback.

#include "Console.h"
#include "Error.h"
#include "Help.h"
#include "Options.h"
#include "Simulation.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace camsim;
    try {
        const TSimSettings settings =
            ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (settings.Help) {
            std::cout << HelpText() << std::flush;
            return 0;
        }
        if (settings.Cameras.empty()) {
            throw TUsageError("no camera given: add one with --camera series=F,ip=127.0.0.2,"
                              "port=8081 (see --help)");
        }
        TSimulation simulation(settings);
        simulation.Run();
        return 0;
    } catch (const TUsageError& error) {
        Complain(error.what());
        return 2;
    } catch (const std::exception& error) {
        Complain(error.what());
        return 1;
    }
}
