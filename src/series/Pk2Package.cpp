#include "series/Pk2Package.h"

#include <algorithm>
#include <array>

namespace torvane {

bool TPk2Reader::ReadExact(void* buffer, std::size_t size) {
    if (size == 0) {
        return true;
    }
    FIn.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(FIn.gcount()) == size;
}

bool TPk2Reader::ReadLength(std::int32_t& value) {
    std::array<std::uint8_t, pk2::LengthSize> bytes{};
    if (!ReadExact(bytes.data(), bytes.size())) {
        return false;
    }
    value = platform::TByteReader(bytes.data(), bytes.size()).GetI32LE(0);
    return true;
}

long long TPk2Reader::Remaining() {
    const auto here = FIn.tellg();
    if (here < 0) {
        return -1;
    }
    FIn.seekg(0, std::ios::end);
    const auto end = FIn.tellg();
    FIn.seekg(here);
    if (end < 0 || !FIn) {
        return -1;
    }
    return static_cast<long long>(end - here);
}

bool TPk2Reader::ReadHeader() {
    std::array<std::uint8_t, pk2::HeaderSize> bytes{};
    FHasMagic = false;
    FCount = 0;
    FBodyLeft = 0;
    if (!ReadExact(bytes.data(), bytes.size())) {
        return false;
    }
    const platform::TByteReader header(bytes.data(), bytes.size());
    FHasMagic = header.GetBytes(pk2::MagicField) == pk2::Magic;
    FCount = header.GetI32LE(pk2::SectionCount);
    return true;
}

bool TPk2Reader::NextSection(TPk2Section& section) {
    section = TPk2Section();
    FBodyLeft = 0;
    std::array<std::uint8_t, pk2::SectionHeaderSize> bytes{};
    if (!ReadExact(bytes.data(), bytes.size())) {
        return false;
    }
    const platform::TByteReader header(bytes.data(), bytes.size());
    const std::string_view kind = header.GetBytes(pk2::SectionKind);
    std::int32_t size = header.GetI32LE(pk2::SectionSize);
    if (kind == pk2::KindFile) {
        section.Kind = TPk2Kind::File;
        std::int32_t nameLength = 0;
        if (!ReadLength(nameLength) || nameLength < 0 ||
            static_cast<std::size_t>(nameLength) > pk2::MaxFileNameLength) {
            return false;
        }
        section.FileName.resize(static_cast<std::size_t>(nameLength));
        if (!ReadExact(section.FileName.data(), section.FileName.size()) || !ReadLength(size)) {
            return false;
        }
    } else {
        section.Kind = kind == pk2::KindCommand ? TPk2Kind::Command : TPk2Kind::Other;
    }
    // The body must be there whole: a package that ends before it is refused here, so no
    // frame ever carries fewer bytes than its header announces.
    if (size < 0 || Remaining() < size) {
        return false;
    }
    section.Size = static_cast<std::uint64_t>(size);
    FBodyLeft = section.Size;
    return true;
}

bool TPk2Reader::ReadBody(void* buffer, std::size_t size) {
    if (size > FBodyLeft || !ReadExact(buffer, size)) {
        return false;
    }
    FBodyLeft -= size;
    return true;
}

bool TPk2Reader::SkipBody() {
    FIn.seekg(static_cast<std::streamoff>(FBodyLeft), std::ios::cur);
    FBodyLeft = 0;
    return static_cast<bool>(FIn);
}

} // namespace torvane
