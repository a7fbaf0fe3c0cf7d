#pragma once
// Unpacking of firmware packages (ZIP archives).
//
// The package comes from a server over the network, so its entry names, kinds and sizes are
// not trusted: an archive with a name that is absolute or leaves the folder ("..", a leading
// "/", a drive letter such as "C:", a backslash), with an entry stored as a symbolic link
// (or another special file), or that unpacks to more than the size limit is refused as a
// whole. Only the one entry a run asks for is written: other entries never land beside it
// under names a later run could take for its own firmware. The file is written under a
// fresh name in its folder (never through a link), flushed to disk and renamed into place
// only when complete, so a crash or a full disk never leaves a partial firmware file under
// its real name.

#include <cstdint>
#include <string>

namespace torvane {

// The most a package may unpack to: firmware images are a few MiB to a few hundred.
constexpr std::uint64_t MaxUnpackedBytes = std::uint64_t{512} << 20;

// What was written: the SHA-256 (lower-case hex) and the size of the unpacked file.
struct TUnpackedFile {
    std::string Sha256;
    std::uint64_t Size = 0;
};

// Checks the whole ZIP archive at package (as above), then writes the file entry that lies
// at the archive's top level under target's file name (the last such entry when there are
// several) to target, replacing whatever has that name (a file, a link, a folder). False,
// with error set, when the archive cannot be read, is refused, has no such entry, or the
// file cannot be written; target is then left as it was.
[[nodiscard]] bool UnzipEntry(const std::string& package, const std::string& target,
                              std::uint64_t maxUnpackedBytes, TUnpackedFile& unpacked,
                              std::string& error);

// True when name is a relative path that stays below the folder it is unpacked into.
[[nodiscard]] bool IsSafeEntryName(const std::string& name);

} // namespace torvane
