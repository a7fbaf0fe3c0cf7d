#pragma once
// The PK2 package, the E cameras' firmware file: its layout, written down once, and the one
// reader that walks it. The CTP client checks a package with it before the camera is
// touched and sends the sections it reads; the tests build packages from the same fields.
// Integers are 32-bit signed, little-endian.
//
//   package header (28 bytes)    "PK2" 00 | 20 bytes not interpreted | section count N
//   N sections, each:
//     section header (24 bytes)  kind | 16 bytes not interpreted | body size
//     body                       "FILE": name length L, L bytes of name, data length D,
//                                        D bytes of data (the header's size is not used)
//                                "CMD ": size bytes of command text
//                                other:  size bytes, passed over
//
// The reader streams the package (firmware files can be large): it reads the headers into
// small buffers and views them through the fields below, and hands the bodies out block by
// block.

#include "platform/ByteReader.h"

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

namespace torvane {

namespace pk2 {

using platform::TByteField;

inline constexpr std::string_view Magic{"PK2\0", 4};
inline constexpr TByteField MagicField{0, 4};
inline constexpr TByteField Reserved{4, 20};
inline constexpr TByteField SectionCount{24, 4};
inline constexpr std::size_t HeaderSize = 28;

inline constexpr TByteField SectionKind{0, 4};
inline constexpr TByteField SectionReserved{4, 16};
inline constexpr TByteField SectionSize{20, 4};
inline constexpr std::size_t SectionHeaderSize = 24;

inline constexpr std::string_view KindFile = "FILE";
inline constexpr std::string_view KindCommand = "CMD ";

// The 32-bit length fields in a FILE body (name length, data length).
inline constexpr std::size_t LengthSize = 4;
// The longest file name a FILE section may carry.
inline constexpr std::size_t MaxFileNameLength = 255;

} // namespace pk2

// Kept under their earlier names for the callers of the CTP client.
inline constexpr std::size_t Pk2HeaderSize = pk2::HeaderSize;
inline constexpr std::size_t Pk2SectionHeaderSize = pk2::SectionHeaderSize;

enum class TPk2Kind { File, Command, Other };

// One section as the reader found it; its body follows at the reader's position.
struct TPk2Section {
    TPk2Kind Kind = TPk2Kind::Other;
    std::string FileName;   // FILE sections
    std::uint64_t Size = 0; // the body's bytes: the file data (FILE), the text (CMD ), or
                            // what is passed over (other kinds)
};

// Walks one package front to back. Every step says whether the package held what it
// announced; a package that does not is never read past what is there.
class TPk2Reader {
public:
    explicit TPk2Reader(std::istream& in) : FIn(in) {}

    // Reads the package header: false when the file is shorter than it.
    [[nodiscard]] bool ReadHeader();
    // The header begins with "PK2" and a zero byte (after ReadHeader).
    [[nodiscard]] bool HasMagic() const { return FHasMagic; }
    // The section count of the header (may be negative in a broken package).
    [[nodiscard]] std::int32_t SectionCount() const { return FCount; }

    // Reads the next section's header, and a FILE section's name and data length. False
    // when the package does not hold them, when a FILE name is longer than 255 bytes or a
    // length is negative, or when the body the header announces is not all there.
    [[nodiscard]] bool NextSection(TPk2Section& section);
    // The next size bytes of the current body: false when they cannot be read.
    [[nodiscard]] bool ReadBody(void* buffer, std::size_t size);
    // Passes over what is left of the current body.
    [[nodiscard]] bool SkipBody();

private:
    [[nodiscard]] bool ReadExact(void* buffer, std::size_t size);
    [[nodiscard]] bool ReadLength(std::int32_t& value);
    // Bytes between the read position and the end; -1 when it cannot be told.
    [[nodiscard]] long long Remaining();

    std::istream& FIn;
    bool FHasMagic = false;
    std::int32_t FCount = 0;
    std::uint64_t FBodyLeft = 0;
};

} // namespace torvane
