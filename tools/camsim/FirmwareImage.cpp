#include "FirmwareImage.h"

#include "Md5.h"
#include "Text.h"

#include <algorithm>
#include <cstdint>

namespace camsim {

namespace {

constexpr std::size_t DigestBytes = 16;

} // namespace

std::string BuildFirmwareImage(std::string_view signature, std::string_view version,
                               std::size_t size) {
    std::string image(signature);
    image += "VERSION=" + std::string(version) + "\n";
    // The SIZE line counts itself: settle its digits first.
    const std::size_t fixed = image.size() + std::string("SIZE=\n").size() + DigestBytes;
    std::size_t total = std::max(size, fixed + 32);
    while (true) {
        const std::size_t needed = fixed + std::to_string(total).size();
        if (total >= needed + 16) {
            break;
        }
        total = needed + 16;
    }
    image += "SIZE=" + std::to_string(total) + "\n";
    // Padding: a fixed pseudo-random sequence, so a package's bytes (and digest) are the
    // same on every run.
    std::uint32_t state = 2463534242u;
    for (const char c : Md5Raw(std::string(signature) + std::string(version))) {
        state = state * 31u + static_cast<unsigned char>(c);
    }
    std::size_t at = image.size();
    image.resize(total - DigestBytes);
    for (; at < image.size(); ++at) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        image[at] = static_cast<char>(state & 0xFF);
    }
    image += Md5Raw(image);
    return image;
}

TImageCheck InspectFirmwareImage(std::string_view bytes, std::string_view signature) {
    using EResult = TImageCheck::EResult;
    if (bytes.size() < signature.size()) {
        return {EResult::TooShort, {}, "the file has only " + std::to_string(bytes.size()) +
                                           " bytes"};
    }
    if (bytes.substr(0, signature.size()) != signature) {
        return {EResult::WrongSignature, {},
                "the file begins with " + HexBytes(bytes.substr(0, signature.size())) +
                    ", not " + HexBytes(signature)};
    }
    const std::string_view rest = bytes.substr(signature.size());
    if (!StartsWith(rest, "VERSION=")) {
        return {EResult::Damaged, {}, "no VERSION line after the signature"};
    }
    const std::size_t versionEnd = rest.find('\n');
    if (versionEnd == std::string_view::npos || versionEnd > 200) {
        return {EResult::Damaged, {}, "the VERSION line has no end"};
    }
    const std::string version(rest.substr(8, versionEnd - 8));
    const std::string_view sizeLine = rest.substr(versionEnd + 1);
    const std::size_t sizeEnd = sizeLine.find('\n');
    unsigned long long declared = 0;
    if (!StartsWith(sizeLine, "SIZE=") || sizeEnd == std::string_view::npos ||
        !ParseUnsigned(sizeLine.substr(5, sizeEnd - 5), ~0ULL, declared)) {
        return {EResult::Damaged, {}, "no SIZE line after the VERSION line"};
    }
    if (declared != bytes.size()) {
        return {EResult::Damaged, {}, "the file has " + std::to_string(bytes.size()) +
                                          " bytes, its header says " + std::to_string(declared)};
    }
    if (bytes.size() < DigestBytes ||
        Md5Raw(bytes.substr(0, bytes.size() - DigestBytes)) !=
            bytes.substr(bytes.size() - DigestBytes)) {
        return {EResult::Damaged, {}, "the file's check digest does not match its content"};
    }
    return {EResult::Valid, version, {}};
}

std::string HexBytes(std::string_view bytes) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        if (!out.empty()) {
            out += ' ';
        }
        out += Digits[value >> 4];
        out += Digits[value & 0x0F];
    }
    return out;
}

} // namespace camsim
