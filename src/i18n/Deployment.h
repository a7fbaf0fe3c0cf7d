#pragma once
// The deployment settings: the firmware server's base URL (its path is "/FM/") and the
// destination address of the LAN search probes. Compiled-in defaults (CMake cache variables
// TORVANE_FIRMWARE_SERVER and TORVANE_BROADCAST_ADDRESS), overridden by option.ini
// ([Global] "server" and "broadcast", program folder then user folder), overridden by the
// command line's flags. Safe to read from any thread.

#include <string>

namespace torvane {

[[nodiscard]] std::string FirmwareServerUrl(); // always ends with "/"
void SetFirmwareServerUrl(const std::string& url);
[[nodiscard]] std::string BroadcastAddress();
void SetBroadcastAddress(const std::string& address);

[[nodiscard]] std::string DefaultFirmwareServerUrl();
[[nodiscard]] std::string DefaultBroadcastAddress();

// Reads both settings from option.ini over the compiled-in defaults.
void LoadDeploymentSettings();

} // namespace torvane
