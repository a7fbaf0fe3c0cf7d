#pragma once
// The builder's side of TByteReader: puts values into a buffer of a layout's size through
// the same TByteField constants the parser reads with. The buffer is the caller's (sized
// for the layout, zero-filled where nothing is put). A value that would not fit inside the
// buffer throws TByteRangeError: a layout and its buffer that disagree are a fault of the
// program, never of the data.

#include "platform/ByteReader.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace torvane::platform {

class TByteWriter {
public:
    TByteWriter(void* data, std::size_t length)
        : FData(static_cast<std::uint8_t*>(data)), FLength(length) {}
    explicit TByteWriter(std::string& bytes) : TByteWriter(bytes.data(), bytes.size()) {}

    void U8(std::size_t offset, std::uint8_t value) { At(offset, 1)[0] = value; }
    void U16LE(std::size_t offset, std::uint16_t value) {
        std::uint8_t* p = At(offset, 2);
        p[0] = static_cast<std::uint8_t>(value & 0xFF);
        p[1] = static_cast<std::uint8_t>(value >> 8);
    }
    void U16BE(std::size_t offset, std::uint16_t value) {
        std::uint8_t* p = At(offset, 2);
        p[0] = static_cast<std::uint8_t>(value >> 8);
        p[1] = static_cast<std::uint8_t>(value & 0xFF);
    }
    void U32LE(std::size_t offset, std::uint32_t value) {
        std::uint8_t* p = At(offset, 4);
        for (int i = 0; i < 4; ++i) {
            p[i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
        }
    }
    void U8(TByteField f, std::uint8_t value) { U8(f.Offset, value); }
    void U16LE(TByteField f, std::uint16_t value) { U16LE(f.Offset, value); }
    void U16BE(TByteField f, std::uint16_t value) { U16BE(f.Offset, value); }
    void U32LE(TByteField f, std::uint32_t value) { U32LE(f.Offset, value); }
    // The bytes as they are, from offset.
    void Bytes(std::size_t offset, std::string_view bytes) {
        if (!bytes.empty()) {
            std::memcpy(At(offset, bytes.size()), bytes.data(), bytes.size());
        }
    }
    void Bytes(std::size_t offset, const std::uint8_t* bytes, std::size_t size) {
        Bytes(offset, std::string_view(reinterpret_cast<const char*>(bytes), size));
    }
    // A writer of the part [offset, offset + size) of the buffer, from its offset 0; the
    // whole part must lie inside the buffer.
    [[nodiscard]] TByteWriter Sub(TByteField f) { return TByteWriter(At(f.Offset, f.Size), f.Size); }
    // A text into a zero-terminated field: cut so that at least one zero byte ends it.
    void Text(TByteField f, std::string_view text) {
        (void)At(f.Offset, f.Size);
        Bytes(f.Offset, text.substr(0, f.Size == 0 ? 0 : f.Size - 1));
    }

private:
    std::uint8_t* At(std::size_t offset, std::size_t size) {
        if (offset > FLength || size > FLength - offset) {
            throw TByteRangeError("a field at " + std::to_string(offset) + " of " +
                                  std::to_string(size) + " bytes does not fit the " +
                                  std::to_string(FLength) + " bytes of the buffer");
        }
        return FData + offset;
    }

    std::uint8_t* FData;
    std::size_t FLength;
};

} // namespace torvane::platform
