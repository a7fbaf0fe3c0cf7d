#pragma once

#include <string>
#include <string_view>

namespace camsim {

// MD5 of the bytes as 32 lower-case hexadecimal digits (libcrypto's EVP digest).
[[nodiscard]] std::string Md5Hex(std::string_view bytes);
// The 16 raw digest bytes.
[[nodiscard]] std::string Md5Raw(std::string_view bytes);

} // namespace camsim
