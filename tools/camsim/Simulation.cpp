#include "Simulation.h"

#include "Console.h"
#include "Error.h"

namespace camsim {

TSimulation::TSimulation(const TSimSettings& settings)
    : FSettings(settings),
      FContext{FLoop, settings.RebootMs, settings.TimeScale, settings.FirmwareSize,
               settings.Verbose} {
    std::vector<TLoopbackEndpoint> endpoints;
    const auto claim = [&endpoints](const TLoopbackEndpoint& endpoint, const std::string& who) {
        if (endpoint.Port() == 0) {
            return;
        }
        for (const TLoopbackEndpoint& taken : endpoints) {
            if (taken == endpoint) {
                throw TUsageError(who + ": " + endpoint.Text() + " is used twice");
            }
        }
        endpoints.push_back(endpoint);
    };
    std::vector<TFirmwareOffer> offers;
    for (const TCameraConfig& config : settings.Cameras) {
        auto camera = TCameraRegistry::Instance().Create(FContext, config);
        claim(camera->Endpoint(), config.Origin);
        for (TFirmwareOffer& offer : camera->Offers()) {
            offers.push_back(std::move(offer));
        }
        FCameras.push_back(std::move(camera));
    }
    FCatalogue = std::make_unique<TCatalogue>(offers);
    if (settings.ServerEnabled) {
        const TLoopbackEndpoint endpoint = TLoopbackEndpoint::Parse(
            settings.ServerAddress, settings.ServerPort, "firmware server address");
        claim(endpoint, "firmware server");
        FServer = std::make_unique<TFirmwareServer>(FLoop, endpoint, *FCatalogue,
                                                    settings.Verbose);
    }
}

TSimulation::~TSimulation() = default;

void TSimulation::PrintListing() const {
    for (const auto& camera : FCameras) {
        Say(camera->Describe());
    }
    if (FServer) {
        Say("server " + FServer->BaseUrl());
        for (const auto& [path, file] : FCatalogue->Files()) {
            Say("file " + FServer->BaseUrl() + path + " (" + std::to_string(file.Bytes.size()) +
                " bytes, " + file.Note + ")");
        }
        for (const std::string& note : FCatalogue->Notes()) {
            Say("note " + note);
        }
    } else {
        Say("server none");
    }
}

void TSimulation::Run() {
    const TSignalWatch signals(FLoop);
    for (const auto& camera : FCameras) {
        camera->Start();
    }
    if (FServer) {
        FServer->Start();
    }
    if (FSettings.ExitAfterMs) {
        FLoop.After(std::chrono::milliseconds(*FSettings.ExitAfterMs), [this] {
            Say("stopping after " + std::to_string(*FSettings.ExitAfterMs) + " ms");
            FLoop.Stop();
        });
    }
    PrintListing();
    Say("ready");
    FLoop.Run();
}

} // namespace camsim
