#include "upgrade/Base64.h"

namespace torvane {

namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void EncodeGroupInto(std::string& out, std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (n > 1) {
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        }
        if (n > 2) {
            v |= static_cast<unsigned char>(bytes[i + 2]);
        }
        out += Alphabet[(v >> 18) & 0x3F];
        out += Alphabet[(v >> 12) & 0x3F];
        out += n > 1 ? Alphabet[(v >> 6) & 0x3F] : '=';
        out += n > 2 ? Alphabet[v & 0x3F] : '=';
    }
}

} // namespace

std::string EncodeBase64(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4 + bytes.size() / 57 * 2);
    for (std::size_t i = 0; i < bytes.size(); i += 57) {
        if (i > 0) {
            out += "\r\n";
        }
        EncodeGroupInto(out, bytes.substr(i, 57));
    }
    return out;
}

std::string EncodeBase64Line(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    EncodeGroupInto(out, bytes);
    return out;
}

} // namespace torvane
