#include "Md5.h"

#include "Error.h"

#include <openssl/evp.h>

namespace camsim {

std::string Md5Raw(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1) {
        throw TRuntimeError("MD5 digest failed");
    }
    return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string Md5Hex(std::string_view bytes) {
    static constexpr char Digits[] = "0123456789abcdef";
    std::string out;
    for (const char byte : Md5Raw(bytes)) {
        const auto value = static_cast<unsigned char>(byte);
        out += Digits[value >> 4];
        out += Digits[value & 0x0F];
    }
    return out;
}

} // namespace camsim
