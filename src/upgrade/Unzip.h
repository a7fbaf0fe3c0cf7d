#pragma once
// Unpacking of firmware packages (ZIP archives) into a folder.
//
// The package comes from a server over the network, so its entry names and sizes are not
// trusted: an archive with a name that is absolute or leaves the folder ("..", a leading
// "/", a drive letter such as "C:", a backslash) is refused as a whole, and so is one that
// unpacks to more than the size limit. Every file is written under a temporary name in its
// folder, flushed to disk and renamed into place only when complete, so a crash or a full
// disk never leaves a partial firmware file under its real name: later runs flash an
// unpacked file they find without checking it again. Symbolic links found below the
// destination folder are never followed.

#include <cstdint>
#include <string>

namespace torvane {

// The most a package may unpack to: firmware images are a few MiB to a few hundred.
constexpr std::uint64_t MaxUnpackedBytes = std::uint64_t{512} << 20;

// Unpacks every entry of the ZIP archive at package into the folder destFolder, recreating
// the folders stored in it and replacing existing files. False (with error set) when the
// archive cannot be read, is refused as above, or an entry cannot be written; the files
// unpacked before such a failure stay, the one being written is removed.
[[nodiscard]] bool UnzipToFolder(const std::string& package, const std::string& destFolder,
                                 std::uint64_t maxUnpackedBytes, std::string& error);

// True when name is a relative path that stays below the folder it is unpacked into.
[[nodiscard]] bool IsSafeEntryName(const std::string& name);

} // namespace torvane
