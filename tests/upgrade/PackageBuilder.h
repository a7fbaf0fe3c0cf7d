#pragma once
// Builds firmware packages (ZIP archives) for the tests with libzip itself, so that entry
// names no archiver would write ("../x", "/abs") can be made too.

#include "platform/Folders.h"
#include "support/TestSupport.h"

#include <sys/stat.h>
#include <zip.h>

#include <string>
#include <utility>
#include <vector>

namespace torvane::test {

struct TZipEntry {
    std::string Name;
    std::string Data;      // ignored for folder entries (names ending in "/")
    bool Deflate = true;
    // Stored as a symbolic link (Unix mode in the external attributes); Data is its target.
    bool Symlink = false;
};

// Writes the archive at path (replacing it); false when libzip refused anything.
inline bool BuildZip(const std::string& path, const std::vector<TZipEntry>& entries) {
    int error = 0;
    zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (za == nullptr) {
        return false;
    }
    for (const TZipEntry& e : entries) {
        if (!e.Name.empty() && e.Name.back() == '/') {
            if (zip_dir_add(za, e.Name.c_str(), ZIP_FL_ENC_UTF_8) < 0) {
                zip_discard(za);
                return false;
            }
            continue;
        }
        // libzip reads the data when the archive is closed; e lives until then.
        zip_source_t* src = zip_source_buffer(za, e.Data.data(), e.Data.size(), 0);
        if (src == nullptr) {
            zip_discard(za);
            return false;
        }
        const zip_int64_t index =
            zip_file_add(za, e.Name.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(src);
            zip_discard(za);
            return false;
        }
        if (zip_set_file_compression(za, static_cast<zip_uint64_t>(index),
                                     e.Deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0) != 0) {
            zip_discard(za);
            return false;
        }
        const zip_uint32_t mode = (e.Symlink ? S_IFLNK | 0777u : S_IFREG | 0644u);
        if (zip_file_set_external_attributes(za, static_cast<zip_uint64_t>(index), 0,
                                             ZIP_OPSYS_UNIX, mode << 16) != 0) {
            zip_discard(za);
            return false;
        }
    }
    return zip_close(za) == 0;
}

// The bytes of an archive with these entries (built in a scratch file that is removed
// again); empty when libzip refused anything.
inline std::string ZipBytes(const std::vector<TZipEntry>& entries) {
    const std::string path = ScratchPath("zip") + ".zip";
    std::string bytes;
    if (BuildZip(path, entries)) {
        bytes = ReadWholeFile(path);
    }
    (void)platform::RemoveFile(path);
    return bytes;
}

} // namespace torvane::test
