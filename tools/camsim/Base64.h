#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace camsim {

// Standard Base64 (A-Z a-z 0-9 + /, "=" padding). Blanks and line breaks are skipped;
// any other character outside the alphabet, or a bad length, gives nothing.
[[nodiscard]] std::optional<std::string> DecodeBase64(std::string_view text);

} // namespace camsim
