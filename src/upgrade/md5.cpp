#include "upgrade/md5.h"

#include <openssl/evp.h>
#include <stdexcept>

namespace torvane {

struct TMd5::TImpl {
    EVP_MD_CTX* Ctx = nullptr;
    ~TImpl() { EVP_MD_CTX_free(Ctx); }
};

TMd5::TMd5() : FImpl(std::make_unique<TImpl>()) {
    FImpl->Ctx = EVP_MD_CTX_new();
    if (FImpl->Ctx == nullptr || EVP_DigestInit_ex(FImpl->Ctx, EVP_md5(), nullptr) != 1) {
        throw std::runtime_error("MD5 is not available");
    }
}

TMd5::~TMd5() = default;

void TMd5::Update(const void* data, std::size_t size) {
    if (size > 0) {
        (void)EVP_DigestUpdate(FImpl->Ctx, data, size);
    }
}

std::array<std::uint8_t, 16> TMd5::Final() {
    std::array<std::uint8_t, 16> digest{};
    unsigned int len = 0;
    (void)EVP_DigestFinal_ex(FImpl->Ctx, digest.data(), &len);
    return digest;
}

std::string DigestToHex(const std::array<std::uint8_t, 16>& digest) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(32);
    for (std::uint8_t b : digest) {
        out += Hex[b >> 4];
        out += Hex[b & 0x0F];
    }
    return out;
}

std::string Md5Hex(std::string_view bytes) {
    TMd5 md5;
    md5.Update(bytes);
    return DigestToHex(md5.Final());
}

} // namespace torvane
