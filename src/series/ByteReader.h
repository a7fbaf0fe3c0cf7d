#pragma once
// A bounds-checked view of one received datagram. Every read names an offset and a size;
// bytes beyond the datagram read as zero, so no parser can read past what arrived, and a
// parser that needs a field whole asks Has() first.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace torvane {

class TByteReader {
public:
    TByteReader(const void* data, std::size_t length)
        : FData(static_cast<const std::uint8_t*>(data)), FLength(data == nullptr ? 0 : length) {}
    explicit TByteReader(std::string_view bytes) : TByteReader(bytes.data(), bytes.size()) {}

    [[nodiscard]] std::size_t Length() const { return FLength; }
    // True when bytes [offset, offset + size) all arrived.
    [[nodiscard]] bool Has(std::size_t offset, std::size_t size) const {
        return offset <= FLength && size <= FLength - offset;
    }
    [[nodiscard]] std::uint8_t U8(std::size_t offset) const {
        return offset < FLength ? FData[offset] : 0;
    }
    [[nodiscard]] std::uint16_t U16LE(std::size_t offset) const {
        return static_cast<std::uint16_t>(U8(offset) | (U8(offset + 1) << 8));
    }
    [[nodiscard]] std::uint16_t U16BE(std::size_t offset) const {
        return static_cast<std::uint16_t>((U8(offset) << 8) | U8(offset + 1));
    }
    [[nodiscard]] std::uint32_t U32LE(std::size_t offset) const {
        return static_cast<std::uint32_t>(U8(offset)) |
               (static_cast<std::uint32_t>(U8(offset + 1)) << 8) |
               (static_cast<std::uint32_t>(U8(offset + 2)) << 16) |
               (static_cast<std::uint32_t>(U8(offset + 3)) << 24);
    }
    // Copies size bytes (zeros beyond the end) into out.
    void Copy(std::size_t offset, std::size_t size, std::uint8_t* out) const {
        for (std::size_t i = 0; i < size; ++i) {
            out[i] = U8(offset + i);
        }
    }
    // The text of a zero-terminated field of size bytes: up to its first zero byte, the end
    // of the field or the end of the datagram, whichever comes first.
    [[nodiscard]] std::string Text(std::size_t offset, std::size_t size) const {
        if (offset >= FLength) {
            return {};
        }
        const std::size_t end = size < FLength - offset ? offset + size : FLength;
        std::size_t i = offset;
        while (i < end && FData[i] != 0) {
            ++i;
        }
        return std::string(reinterpret_cast<const char*>(FData + offset), i - offset);
    }
    // The bytes from offset to the end, as a view.
    [[nodiscard]] std::string_view Rest(std::size_t offset) const {
        if (offset >= FLength) {
            return {};
        }
        return {reinterpret_cast<const char*>(FData + offset), FLength - offset};
    }

private:
    const std::uint8_t* FData;
    std::size_t FLength;
};

} // namespace torvane
