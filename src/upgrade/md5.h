#pragma once
// MD5 digests (RFC 1321) on libcrypto's EVP interface.

#include "upgrade/Digest.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace torvane {

class TMd5 {
public:
    void Update(const void* data, std::size_t size) { FDigest.Update(data, size); }
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    // The 16 digest bytes; the object cannot be updated afterwards.
    [[nodiscard]] std::array<std::uint8_t, 16> Final();

private:
    TDigest FDigest{EDigest::Md5};
};

// 32 lower-case hexadecimal digits, high digit first.
[[nodiscard]] std::string DigestToHex(const std::array<std::uint8_t, 16>& digest);
[[nodiscard]] std::string Md5Hex(std::string_view bytes);

} // namespace torvane
