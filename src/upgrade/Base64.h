#pragma once

#include <string>
#include <string_view>

namespace torvane {

// Standard Base64 (RFC 4648 alphabet, "=" padding) in lines of 76 characters (57 input
// bytes each) joined by CR LF, with no CR LF after the last line.
[[nodiscard]] std::string EncodeBase64(std::string_view bytes);
// The same without line breaks, for header values.
[[nodiscard]] std::string EncodeBase64Line(std::string_view bytes);

} // namespace torvane
