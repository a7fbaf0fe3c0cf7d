#pragma once
// Builds PK2 packages for the tests through the package's own layout (series/Pk2Package.h),
// so that a test package and the product's reader agree on where each field stands. The
// tests that pin the layout itself (a 27-byte header, a cut section) count the bytes out.

#include "platform/ByteWriter.h"
#include "series/Pk2Package.h"

#include <cstdint>
#include <string>

namespace torvane::test {

inline std::string Le32(std::int32_t v) {
    std::string s(pk2::LengthSize, '\0');
    platform::TByteWriter(s).U32LE(0, static_cast<std::uint32_t>(v));
    return s;
}

inline std::string SectionHeader(const std::string& kind, std::int32_t size) {
    std::string header(pk2::SectionHeaderSize, '\0');
    platform::TByteWriter w(header);
    w.Bytes(pk2::SectionKind.Offset, kind);
    w.U32LE(pk2::SectionSize, static_cast<std::uint32_t>(size));
    return header;
}

inline std::string FileSection(const std::string& name, const std::string& data) {
    return SectionHeader(std::string(pk2::KindFile), 0) +
           Le32(static_cast<std::int32_t>(name.size())) + name +
           Le32(static_cast<std::int32_t>(data.size())) + data;
}

inline std::string CmdSection(const std::string& text) {
    return SectionHeader(std::string(pk2::KindCommand), static_cast<std::int32_t>(text.size())) +
           text;
}

// The package header (magic, 20 filler bytes, the count) and the sections as given.
inline std::string Package(std::int32_t count, const std::string& sections) {
    std::string header(pk2::HeaderSize, '\0');
    platform::TByteWriter w(header);
    w.Bytes(pk2::MagicField.Offset, pk2::Magic);
    w.Bytes(pk2::Reserved.Offset, std::string(pk2::Reserved.Size, 'x'));
    w.U32LE(pk2::SectionCount, static_cast<std::uint32_t>(count));
    return header + sections;
}

} // namespace torvane::test
