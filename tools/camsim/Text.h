#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace camsim {

// Small text helpers (ASCII only: everything camsim parses is ASCII on the wire).
[[nodiscard]] std::string ToLower(std::string_view text);
[[nodiscard]] std::string Trim(std::string_view text);
[[nodiscard]] bool IEquals(std::string_view a, std::string_view b);
[[nodiscard]] bool StartsWith(std::string_view text, std::string_view prefix);
[[nodiscard]] std::vector<std::string> Split(std::string_view text, char separator);
// Decimal 0..max; false on anything else (signs, blanks, overflow).
[[nodiscard]] bool ParseUnsigned(std::string_view text, unsigned long long max,
                                 unsigned long long& value);

} // namespace camsim
