#include "Base64.h"

namespace camsim {

namespace {

int SextetOf(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

} // namespace

std::optional<std::string> DecodeBase64(std::string_view text) {
    std::string digits;
    std::size_t padding = 0;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            continue;
        }
        if (c == '=') {
            ++padding;
            continue;
        }
        if (padding > 0 || SextetOf(c) < 0) {
            return std::nullopt; // a digit after padding, or outside the alphabet
        }
        digits += c;
    }
    if (padding > 2 || (digits.size() + padding) % 4 != 0 || digits.size() % 4 == 1) {
        return std::nullopt;
    }
    std::string out;
    unsigned int accumulator = 0;
    int bits = 0;
    for (const char c : digits) {
        accumulator = (accumulator << 6) | static_cast<unsigned int>(SextetOf(c));
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((accumulator >> bits) & 0xFF);
        }
    }
    return out;
}

} // namespace camsim
