#pragma once

#include "Camera.h"
#include "Catalogue.h"
#include "EventLoop.h"
#include "FirmwareServer.h"
#include "Options.h"
#include "SignalWatch.h"

#include <memory>
#include <vector>

namespace camsim {

// Everything one run of camsim serves: the cameras, the catalogue built for them and the
// firmware server, all on one event loop.
class TSimulation {
public:
    // Checks the whole configuration and builds the cameras and the catalogue; throws
    // TUsageError for anything camsim refuses. Nothing listens yet.
    explicit TSimulation(const TSimSettings& settings);
    ~TSimulation();
    TSimulation(const TSimulation&) = delete;
    TSimulation& operator=(const TSimulation&) = delete;

    // Listens on every address (TRuntimeError when one cannot be bound), prints what is
    // served and "ready", and runs until a signal or --exit-after-ms.
    void Run();

private:
    void PrintListing() const;

    const TSimSettings& FSettings;
    TEventLoop FLoop;
    TCameraContext FContext;
    std::vector<std::unique_ptr<TCamera>> FCameras;
    std::unique_ptr<TCatalogue> FCatalogue;
    std::unique_ptr<TFirmwareServer> FServer;
};

} // namespace camsim
