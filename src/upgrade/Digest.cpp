#include "upgrade/Digest.h"

#include <openssl/evp.h>

#include <cerrno>
#include <stdexcept>
#include <unistd.h>

namespace torvane {

struct TDigest::TImpl {
    EVP_MD_CTX* Ctx = nullptr;
    ~TImpl() { EVP_MD_CTX_free(Ctx); }
};

TDigest::TDigest(EDigest kind) : FImpl(std::make_unique<TImpl>()) {
    const EVP_MD* md = kind == EDigest::Md5 ? EVP_md5() : EVP_sha256();
    FImpl->Ctx = EVP_MD_CTX_new();
    if (FImpl->Ctx == nullptr || EVP_DigestInit_ex(FImpl->Ctx, md, nullptr) != 1) {
        throw std::runtime_error(kind == EDigest::Md5 ? "MD5 is not available"
                                                      : "SHA-256 is not available");
    }
}

TDigest::~TDigest() = default;

void TDigest::Update(const void* data, std::size_t size) {
    if (size > 0) {
        (void)EVP_DigestUpdate(FImpl->Ctx, data, size);
    }
}

std::vector<std::uint8_t> TDigest::Final() {
    std::vector<std::uint8_t> digest(EVP_MAX_MD_SIZE);
    unsigned int len = 0;
    if (EVP_DigestFinal_ex(FImpl->Ctx, digest.data(), &len) != 1) {
        len = 0;
    }
    digest.resize(len);
    return digest;
}

std::string HexOf(const std::uint8_t* bytes, std::size_t size) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * size);
    for (std::size_t i = 0; i < size; ++i) {
        out += Hex[bytes[i] >> 4];
        out += Hex[bytes[i] & 0x0F];
    }
    return out;
}

bool Sha256OfFd(int fd, std::string& hex, std::uint64_t& size) {
    TDigest sha(EDigest::Sha256);
    std::vector<char> buf(1 << 20);
    size = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            break;
        }
        sha.Update(buf.data(), static_cast<std::size_t>(n));
        size += static_cast<std::uint64_t>(n);
    }
    hex = HexOf(sha.Final());
    return true;
}

} // namespace torvane
