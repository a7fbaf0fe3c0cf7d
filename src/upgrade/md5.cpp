#include "upgrade/md5.h"

#include "upgrade/Digest.h"

#include <algorithm>

namespace torvane {

struct TMd5::TImpl {
    TDigest Digest{EDigest::Md5};
};

TMd5::TMd5() : FImpl(std::make_unique<TImpl>()) {}

TMd5::~TMd5() = default;

void TMd5::Update(const void* data, std::size_t size) {
    FImpl->Digest.Update(data, size);
}

std::array<std::uint8_t, 16> TMd5::Final() {
    std::array<std::uint8_t, 16> digest{};
    const std::vector<std::uint8_t> bytes = FImpl->Digest.Final();
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
