#include "series/DevInfo.h"

namespace torvane {

namespace {

std::string HexBytes(const std::uint8_t* bytes, std::size_t count, std::string_view separator = {}) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(count * (2 + separator.size()));
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            out += separator;
        }
        out += Digits[bytes[i] >> 4];
        out += Digits[bytes[i] & 0x0F];
    }
    return out;
}

} // namespace

std::string MacToStr(const std::uint8_t bytes[6]) {
    return HexBytes(bytes, 6);
}

std::string MacToColonText(const std::uint8_t bytes[6]) {
    return HexBytes(bytes, 6, ":");
}

std::string SerialToStr(const std::uint8_t bytes[7]) {
    return HexBytes(bytes, 7);
}

std::string NormalizeMac(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '-' || c == ':') {
            continue;
        }
        if (c == ' ') {
            out += '0';
        } else if (c >= 'a' && c <= 'z') {
            out += static_cast<char>(c - 'a' + 'A');
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace torvane
