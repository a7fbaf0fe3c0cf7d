#include "upgrade/md5.h"

#include <algorithm>

namespace torvane {

std::array<std::uint8_t, 16> TMd5::Final() {
    std::array<std::uint8_t, 16> digest{};
    const std::vector<std::uint8_t> bytes = FDigest.Final();
    std::copy_n(bytes.begin(), std::min(bytes.size(), digest.size()), digest.begin());
    return digest;
}

std::string DigestToHex(const std::array<std::uint8_t, 16>& digest) {
    return HexOf(digest.data(), digest.size());
}

std::string Md5Hex(std::string_view bytes) {
    TMd5 md5;
    md5.Update(bytes);
    return DigestToHex(md5.Final());
}

} // namespace torvane
