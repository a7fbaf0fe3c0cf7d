#pragma once
// The one bounds-checked reader of binary layouts: datagrams, the PK2 package's headers,
// the pack store. A TByteReader is a view of bytes held elsewhere; nothing is ever read
// past its end. Layouts are declared once as TByteField constants (offset and size) beside
// the format they describe, and read through them, so no parser adds offsets by hand.
//
// Two ways of reading, side by side:
//  - lenient (U8, U16LE, Text, Sub, ...): bytes beyond the view read as zero, the way a
//    datagram shorter than its layout is read; a parser that needs a field whole asks
//    Has() first. These never throw.
//  - checked (the Get... family, and TByteCursor): a field that is not whole inside the
//    view throws TByteRangeError. For file formats, where a short read means the file is
//    broken and the whole read is abandoned in one place.
// Sub-views (Sub, GetSub, a cursor's Take) are views of their own, read from offset 0.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace torvane::platform {

// One field of a layout: where it starts and how many bytes it takes.
struct TByteField {
    std::size_t Offset = 0;
    std::size_t Size = 0;
    [[nodiscard]] constexpr std::size_t End() const { return Offset + Size; }
};

// A checked read found fewer bytes than the field needs.
class TByteRangeError : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};

class TByteReader {
public:
    TByteReader() = default;
    TByteReader(const void* data, std::size_t length)
        : FData(static_cast<const std::uint8_t*>(data)), FLength(data == nullptr ? 0 : length) {}
    explicit TByteReader(std::string_view bytes) : TByteReader(bytes.data(), bytes.size()) {}

    [[nodiscard]] std::size_t Length() const { return FLength; }
    // True when bytes [offset, offset + size) are all inside the view.
    [[nodiscard]] bool Has(std::size_t offset, std::size_t size) const {
        return offset <= FLength && size <= FLength - offset;
    }
    [[nodiscard]] bool Has(TByteField field) const { return Has(field.Offset, field.Size); }
    // The view begins with these bytes.
    [[nodiscard]] bool StartsWith(std::string_view bytes) const {
        return Bytes(0, bytes.size()) == bytes;
    }

    // --- lenient: zeros beyond the end ----------------------------------------------------
    [[nodiscard]] std::uint8_t U8(std::size_t offset) const {
        return offset < FLength ? FData[offset] : 0;
    }
    [[nodiscard]] std::uint16_t U16LE(std::size_t offset) const {
        return static_cast<std::uint16_t>(ByteAt(offset, 0) | (ByteAt(offset, 1) << 8));
    }
    [[nodiscard]] std::uint16_t U16BE(std::size_t offset) const {
        return static_cast<std::uint16_t>((ByteAt(offset, 0) << 8) | ByteAt(offset, 1));
    }
    [[nodiscard]] std::uint32_t U32LE(std::size_t offset) const {
        return static_cast<std::uint32_t>(ByteAt(offset, 0)) |
               (static_cast<std::uint32_t>(ByteAt(offset, 1)) << 8) |
               (static_cast<std::uint32_t>(ByteAt(offset, 2)) << 16) |
               (static_cast<std::uint32_t>(ByteAt(offset, 3)) << 24);
    }
    [[nodiscard]] std::int32_t I32LE(std::size_t offset) const {
        return static_cast<std::int32_t>(U32LE(offset));
    }
    [[nodiscard]] std::uint8_t U8(TByteField f) const { return U8(f.Offset); }
    [[nodiscard]] std::uint16_t U16LE(TByteField f) const { return U16LE(f.Offset); }
    [[nodiscard]] std::uint16_t U16BE(TByteField f) const { return U16BE(f.Offset); }
    [[nodiscard]] std::uint32_t U32LE(TByteField f) const { return U32LE(f.Offset); }
    [[nodiscard]] std::int32_t I32LE(TByteField f) const { return I32LE(f.Offset); }

    // Copies size bytes (zeros beyond the end) into out.
    void Copy(std::size_t offset, std::size_t size, std::uint8_t* out) const {
        for (std::size_t i = 0; i < size; ++i) {
            out[i] = ByteAt(offset, i);
        }
    }
    void Copy(TByteField f, std::uint8_t* out) const { Copy(f.Offset, f.Size, out); }
    // The text of a zero-terminated field of size bytes: up to its first zero byte, the end
    // of the field or the end of the view, whichever comes first.
    [[nodiscard]] std::string Text(std::size_t offset, std::size_t size) const {
        const std::string_view field = Bytes(offset, size);
        return std::string(field.substr(0, field.find('\0')));
    }
    [[nodiscard]] std::string Text(TByteField f) const { return Text(f.Offset, f.Size); }
    // The bytes of [offset, offset + size) that are inside the view (fewer, or none, when
    // the view ends first).
    [[nodiscard]] std::string_view Bytes(std::size_t offset, std::size_t size) const {
        if (offset >= FLength) {
            return {};
        }
        return {reinterpret_cast<const char*>(FData + offset),
                size < FLength - offset ? size : FLength - offset};
    }
    [[nodiscard]] std::string_view Bytes(TByteField f) const { return Bytes(f.Offset, f.Size); }
    // The bytes from offset to the end.
    [[nodiscard]] std::string_view Rest(std::size_t offset) const { return Bytes(offset, FLength); }
    // The part of the view from offset, at most size bytes (what there is of it).
    [[nodiscard]] TByteReader Sub(std::size_t offset, std::size_t size) const {
        const std::string_view part = Bytes(offset, size);
        return TByteReader(part.data(), part.size());
    }
    [[nodiscard]] TByteReader Sub(TByteField f) const { return Sub(f.Offset, f.Size); }
    [[nodiscard]] std::string_view All() const { return Rest(0); }

    // --- checked: TByteRangeError when the field is not whole ------------------------------
    void Need(std::size_t offset, std::size_t size) const {
        if (!Has(offset, size)) {
            throw TByteRangeError("a field at " + std::to_string(offset) + " of " +
                                  std::to_string(size) + " bytes lies beyond the " +
                                  std::to_string(FLength) + " bytes there are");
        }
    }
    [[nodiscard]] std::uint8_t GetU8(std::size_t offset) const {
        Need(offset, 1);
        return U8(offset);
    }
    [[nodiscard]] std::uint32_t GetU32LE(std::size_t offset) const {
        Need(offset, 4);
        return U32LE(offset);
    }
    [[nodiscard]] std::int32_t GetI32LE(std::size_t offset) const {
        Need(offset, 4);
        return I32LE(offset);
    }
    [[nodiscard]] std::int32_t GetI32LE(TByteField f) const { return GetI32LE(f.Offset); }
    [[nodiscard]] std::string_view GetBytes(std::size_t offset, std::size_t size) const {
        Need(offset, size);
        return Bytes(offset, size);
    }
    [[nodiscard]] std::string_view GetBytes(TByteField f) const {
        return GetBytes(f.Offset, f.Size);
    }
    [[nodiscard]] TByteReader GetSub(std::size_t offset, std::size_t size) const {
        Need(offset, size);
        return Sub(offset, size);
    }

private:
    // Byte i of the field at offset; zero beyond the view (no sum that could wrap).
    [[nodiscard]] std::uint8_t ByteAt(std::size_t offset, std::size_t i) const {
        return offset < FLength && i < FLength - offset ? FData[offset + i] : 0;
    }

    const std::uint8_t* FData = nullptr;
    std::size_t FLength = 0;
};

// A read position moving through a view from its start: the reader of a format read front
// to back (the pack store). Every read is checked: one that needs more bytes than are left
// throws TByteRangeError and leaves the position where it was.
class TByteCursor {
public:
    explicit TByteCursor(TByteReader view) : FView(view) {}

    [[nodiscard]] std::size_t Position() const { return FPos; }
    [[nodiscard]] std::size_t Remaining() const { return FView.Length() - FPos; }
    [[nodiscard]] bool AtEnd() const { return Remaining() == 0; }

    [[nodiscard]] std::uint8_t Peek() const { return FView.GetU8(FPos); }
    [[nodiscard]] std::uint8_t U8() { return Advance(1).U8(0); }
    [[nodiscard]] std::uint32_t U32LE() { return Advance(4).U32LE(0); }
    [[nodiscard]] std::int32_t I32LE() { return Advance(4).I32LE(0); }
    // The next size bytes, as a view of their own.
    [[nodiscard]] TByteReader Take(std::size_t size) { return Advance(size); }
    [[nodiscard]] std::string_view Bytes(std::size_t size) { return Advance(size).All(); }
    void Skip(std::size_t size) { (void)Advance(size); }

private:
    TByteReader Advance(std::size_t size) {
        const TByteReader part = FView.GetSub(FPos, size);
        FPos += size;
        return part;
    }

    TByteReader FView;
    std::size_t FPos = 0;
};

} // namespace torvane::platform
