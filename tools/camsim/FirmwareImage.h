#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace camsim {

// camsim's firmware file: the series' four signature bytes, the text lines
// "VERSION=<version>\n" and "SIZE=<total bytes>\n", padding (binary, zero bytes included),
// and the 16 MD5 bytes of everything before them. A camera takes its new version from the
// VERSION line and refuses a file whose size or digest is wrong, so a file that was cut or
// altered on its way is noticed.
[[nodiscard]] std::string BuildFirmwareImage(std::string_view signature, std::string_view version,
                                             std::size_t size);

struct TImageCheck {
    enum class EResult { Valid, TooShort, WrongSignature, Damaged };
    EResult Result = EResult::TooShort;
    std::string Version; // for Valid
    std::string Detail;  // for the others: what is wrong
};

[[nodiscard]] TImageCheck InspectFirmwareImage(std::string_view bytes,
                                               std::string_view signature);

[[nodiscard]] std::string HexBytes(std::string_view bytes);

} // namespace camsim
