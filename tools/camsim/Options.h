#pragma once

#include "CameraConfig.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace camsim {

// Everything camsim was asked to run, from the command line and the config file.
struct TSimSettings {
    std::vector<TCameraConfig> Cameras;
    bool ServerEnabled = true;
    std::string ServerAddress = "127.0.0.1";
    std::uint16_t ServerPort = 8300;
    long long RebootMs = 20'000;
    double TimeScale = 1.0;
    std::optional<long long> ExitAfterMs;
    std::size_t FirmwareSize = 16 * 1024;
    // Where to write the firmware server's files as well, in its layout; empty: nowhere.
    std::string FirmwareFolder;
    bool Verbose = false;
    bool Help = false;
};

// Reads the config file named by --config first (its cameras come first), then the rest of
// the command line, which overrides the file's settings. Throws TUsageError.
[[nodiscard]] TSimSettings ParseOptions(const std::vector<std::string>& arguments);

// Reads a config file into the settings; throws TUsageError naming file and line.
void LoadConfigFile(const std::string& path, TSimSettings& settings);

} // namespace camsim
