#pragma once
// The deployment settings: the firmware server's base URL (its path is "/FM/"), the
// destination of the LAN search probes ("auto": every IPv4 interface that can broadcast,
// or one address) and, optionally, the one interface the search is limited to.
// Compiled-in defaults (CMake cache variables TORVANE_FIRMWARE_SERVER,
// TORVANE_BROADCAST_ADDRESS and TORVANE_SEARCH_INTERFACE), overridden by option.ini
// ([Global] "server", "broadcast" and "interface", program folder then user folder),
// overridden by the command line's flags. Safe to read from any thread.

#include "platform/Interfaces.h"

#include <string>
#include <vector>

namespace torvane {

[[nodiscard]] std::string FirmwareServerUrl(); // always ends with "/"
void SetFirmwareServerUrl(const std::string& url);
// "auto" or an address as set (trimmed; "auto" in any case is kept as "auto"). A value
// that is neither leaves the search without a destination (see SearchTargets).
[[nodiscard]] std::string BroadcastAddress();
void SetBroadcastAddress(const std::string& address);
// The interface the search is limited to; empty: every interface.
[[nodiscard]] std::string SearchInterface();
void SetSearchInterface(const std::string& name);

[[nodiscard]] std::string DefaultFirmwareServerUrl();
[[nodiscard]] std::string DefaultBroadcastAddress();
[[nodiscard]] std::string DefaultSearchInterface();

// Where one probe of the search goes under the current settings, with the interfaces as
// they are at this moment (platform::ResolveBroadcastTargets). Every probe of the LAN
// search, the T-series search and the CTP version search is sent to these.
[[nodiscard]] std::vector<platform::TBroadcastTarget> SearchTargets();

// Reads the settings from option.ini over the compiled-in defaults.
void LoadDeploymentSettings();

} // namespace torvane
