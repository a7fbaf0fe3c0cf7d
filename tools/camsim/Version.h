#pragma once

#include <string>
#include <string_view>

namespace camsim {

// The next version: its last run of digits counted up by one ("1.2.3.4" -> "1.2.3.5",
// "V2.1.0.9" -> "V2.1.0.10"); a version that ends without digits gets ".1" appended.
[[nodiscard]] std::string NextVersion(std::string_view version);

// The version family that names a catalogue section: the version up to, not including,
// its last "." ("1.2.3.4" -> "1.2.3"); empty when there is no ".".
[[nodiscard]] std::string VersionFamily(std::string_view version);

// Letters, digits and . _ - only (versions, OEM names, models end up in URLs, INI files
// and JavaScript strings, and must not need escaping anywhere).
[[nodiscard]] bool IsPlainToken(std::string_view text);

} // namespace camsim
