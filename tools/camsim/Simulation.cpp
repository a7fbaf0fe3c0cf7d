#include "Simulation.h"

#include "Console.h"
#include "Error.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

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

namespace {

void MakeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        throw TRuntimeError("firmware folder: cannot make " + path + ": " + std::strerror(errno));
    }
}

// The firmware server's files under folder, path for path ("system/firmware.txt").
void WriteFirmwareFolder(const std::string& folder, const TCatalogue& catalogue) {
    std::string base = folder;
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    // Every missing level of the folder itself, then one level per catalogue folder.
    for (std::size_t slash = base.find('/', 1); slash != std::string::npos;
         slash = base.find('/', slash + 1)) {
        MakeFolder(base.substr(0, slash));
    }
    MakeFolder(base);
    for (const auto& [path, file] : catalogue.Files()) {
        const std::size_t slash = path.find('/');
        if (slash != std::string::npos) {
            MakeFolder(base + "/" + path.substr(0, slash));
        }
        const std::string target = base + "/" + path;
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out.write(file.Bytes.data(), static_cast<std::streamsize>(file.Bytes.size()));
        if (!out.flush()) {
            throw TRuntimeError("firmware folder: cannot write " + target);
        }
    }
}

} // namespace

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
    if (!FSettings.FirmwareFolder.empty()) {
        Say("folder " + FSettings.FirmwareFolder);
    }
}

void TSimulation::Run() {
    const TSignalWatch signals(FLoop);
    if (!FSettings.FirmwareFolder.empty()) {
        WriteFirmwareFolder(FSettings.FirmwareFolder, *FCatalogue);
    }
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
    if (FServer) {
        for (const auto& [path, count] : FServer->Served()) {
            Say("served " + path + " " + std::to_string(count));
        }
    }
}

} // namespace camsim
