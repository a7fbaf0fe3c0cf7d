#pragma once
// Texts as JSON string literals, for every machine-readable output of the tool: well-formed
// UTF-8 passes through, control characters and every byte that is not part of a
// well-formed UTF-8 sequence become \u00XX escapes (the byte's value), so any text gives
// valid JSON.

#include <string>
#include <string_view>
#include <vector>

namespace torvane::platform {

// A JSON string literal, quotes included.
[[nodiscard]] std::string JsonString(std::string_view bytes);
// A JSON array of string literals, one for each text.
[[nodiscard]] std::string JsonArray(const std::vector<std::string>& texts);

} // namespace torvane::platform
