#pragma once
// The value checks that option tables use. Each gives the error message for a value it
// refuses; none of them sends anything anywhere (a host name is looked up in the system's
// resolver only once it is well formed and not a number).

#include "cli/Options.h"

#include <string>
#include <vector>

namespace torvane::cli {

// One of words (ASCII case ignored when ignoreCase); the value becomes the word's spelling.
[[nodiscard]] TValueCheck CheckOneOf(std::vector<std::string> words, bool ignoreCase);
// A whole number of decimal digits from min to max.
[[nodiscard]] TValueCheck CheckWholeNumber(long long min, long long max);
// A dotted IPv4 address (four numbers from 0 to 255); example is shown in the error.
[[nodiscard]] TValueCheck CheckIPv4(std::string example);
// A dotted IPv4 address, or a host name that resolves to one; the value becomes the
// address. A text of digits and dots that is no valid address is refused without a look-up
// (the resolver would read "1.2.3" or "010.0.0.1" in ways nobody means).
[[nodiscard]] TValueCheck CheckHost();
// "auto" (every network interface, in any case; the value becomes "auto") or a dotted IPv4
// address: where the LAN search sends its probes.
[[nodiscard]] TValueCheck CheckBroadcast();
// The name of a network interface ("eth0"): what the kernel accepts as one.
[[nodiscard]] TValueCheck CheckInterfaceName();
// A firmware source: an http:// or https:// URL, a file:// URL of this machine or a folder
// path (i18n/Deployment.h, ParseFirmwareSource). A folder becomes its absolute path.
[[nodiscard]] TValueCheck CheckFirmwareSource();
// A folder path: not empty (whether it exists is the command's business).
[[nodiscard]] TValueCheck CheckFolder();
// An OEM name as a catalogue folder: not empty, not "." or "..", without "/", "\" or
// control characters.
[[nodiscard]] TValueCheck CheckCatalogFolder();

// A text that may be a host name: labels of letters, digits and "-" (not at either end),
// 1 to 63 characters each, at most 253 in all, the last one not all digits.
[[nodiscard]] bool IsHostName(const std::string& text);

} // namespace torvane::cli
