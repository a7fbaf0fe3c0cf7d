#pragma once

#include "Faults.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace camsim {

// What the user asked for one camera, before the series fills in its defaults.
struct TCameraConfig {
    std::string Series;            // "F", "H"
    std::string Ip;                // 127.0.0.x
    std::string IpLast;            // with "ip=FIRST-LAST": the range's last address
    std::uint16_t Port = 80;       // 0: any free port
    std::string User = "admin";    // stored lower-case
    std::string Password;          // stored lower-case
    std::string Oem = "ABC";       // body of /oem.txt
    std::string Model;             // app_model, may be empty
    std::optional<std::string> SysVersion;
    std::optional<std::string> UiVersion;
    // Versions the firmware server offers for this camera: unset means the next version,
    // an empty text means nothing is offered.
    std::optional<std::string> OfferSys;
    std::optional<std::string> OfferUi;
    std::optional<long long> RebootMs;
    TFaultSet Faults;
    std::string Origin; // where it was given, for messages: "--camera #1", "sim.ini:12"
};

// Applies one key=value of a camera description; throws TUsageError naming `origin` for
// unknown keys and bad values.
void ApplyCameraKey(TCameraConfig& camera, const std::string& key, const std::string& value);

// Replaces every camera given with an address range by one camera per address of the
// range, in order, each with the same settings. Throws TUsageError for a range that runs
// backwards or is longer than MaxRangeCameras.
void ExpandAddressRanges(std::vector<TCameraConfig>& cameras);
inline constexpr std::uint32_t MaxRangeCameras = 4096;

// The keys, for --help.
[[nodiscard]] const char* CameraKeysHelp();

} // namespace camsim
