#pragma once
// The CTP search by which the tool reads an E camera's firmware version: the probe
// "SEARCH * CTP/1.0" broadcast to UDP port 7999, the cameras' replies collected for a
// moment, and the reply that names the camera's address gives its version.

#include "series/CtpClient.h"
#include "series/CtpSearchReply.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace torvane {

constexpr std::uint16_t CtpSearchPort = 7999;
inline constexpr std::string_view CtpSearchProbe = "SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n";

// The UDP ports of the search: the local port it binds (when free) and the port the probe
// goes to. Both are 7999; tests point them at a loopback peer. They belong to the current
// context (platform/Context.h). Several searches may run at once (one per worker): each
// has its own socket, and those that find 7999 taken read their replies on the port the
// system gives them.
struct TCtpSearchPorts {
    std::uint16_t Local = CtpSearchPort;
    std::uint16_t Remote = CtpSearchPort;
};
[[nodiscard]] TCtpSearchPorts CtpSearchPorts();
void SetCtpSearchPorts(TCtpSearchPorts ports);

// The camera's version from its reply to the CTP search (empty when no reply names the
// IP), or the IDS_IPCCONNETERR text when the connection cannot be started.
[[nodiscard]] std::string GetDeviceVersion(const std::string& ip, int port);
// The same, telling the failed connection apart: false when the connection to the camera
// cannot be started (version untouched); otherwise true with the version (maybe empty).
[[nodiscard]] bool ReadDeviceVersion(const std::string& ip, int port, std::string& version);

} // namespace torvane
