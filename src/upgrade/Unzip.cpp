#include "upgrade/Unzip.h"

#include "platform/File.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "upgrade/Digest.h"
#include "upgrade/uIUpgradeOpt.h"

#include <zip.h>

#include <memory>
#include <vector>

namespace torvane {

namespace {

constexpr std::size_t ChunkBytes = 1 << 20;

// --- owners of the archive's handles ----------------------------------------------------

struct TZipArchiveCloser {
    void operator()(zip_t* za) const { zip_discard(za); }
};
using TZipArchive = std::unique_ptr<zip_t, TZipArchiveCloser>;

struct TZipFileCloser {
    void operator()(zip_file_t* zf) const { zip_fclose(zf); }
};
using TZipFile = std::unique_ptr<zip_file_t, TZipFileCloser>;

// Removes a half-written temporary file unless it was renamed into place.
class TTempFileGuard {
public:
    explicit TTempFileGuard(std::string path) : FPath(std::move(path)) {}
    ~TTempFileGuard() {
        if (!FPath.empty()) {
            (void)platform::RemoveFile(FPath);
        }
    }
    TTempFileGuard(const TTempFileGuard&) = delete;
    TTempFileGuard& operator=(const TTempFileGuard&) = delete;
    void Keep() { FPath.clear(); }

private:
    std::string FPath;
};

std::string ZipErrorText(int code) {
    zip_error_t err;
    zip_error_init_with_code(&err, code);
    std::string text = zip_error_strerror(&err);
    zip_error_fini(&err);
    return text;
}

std::string OsError(const std::string& what, int error) {
    return what + ": " + platform::ErrorText(error);
}

// The non-empty path components of a checked entry name, "." left out.
std::vector<std::string> Components(const std::string& name) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= name.size()) {
        auto end = name.find('/', start);
        if (end == std::string::npos) {
            end = name.size();
        }
        std::string part = name.substr(start, end - start);
        if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    return parts;
}

// The reason an entry's kind refuses the package, or empty. Archives made on Unix keep the
// file's mode in the high half of the external attributes: a link there would be unpacked
// by other tools as a link, here as a small file holding its target's path, and neither is
// firmware.
std::string RefusedKind(zip_t* za, zip_uint64_t index) {
    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(za, index, 0, &opsys, &attributes) != 0) {
        return "its attributes cannot be read";
    }
    if (opsys != ZIP_OPSYS_UNIX) {
        return {};
    }
    switch (platform::FileKindOfMode(attributes >> 16)) {
    case platform::EFileKind::Link:
        return "it is a symbolic link";
    case platform::EFileKind::Special:
        return "it is a special file";
    default:
        return {};
    }
}

bool ExtractTo(zip_t* za, zip_uint64_t index, const zip_stat_t& st, const std::string& target,
               std::uint64_t maxBytes, TUnpackedFile& unpacked, std::string& error) {
    const std::string fileName = platform::FileNameOf(target);
    TZipFile zf(zip_fopen_index(za, index, 0));
    if (!zf) {
        error = std::string("cannot read entry ") + st.name + ": " + zip_strerror(za);
        return false;
    }
    platform::TFile out = platform::TFile::CreateFreshBeside(target, ".part", 0644);
    if (!out.IsOpen()) {
        error = OsError("cannot create a file for " + fileName, out.OpenError());
        return false;
    }
    const std::string tempPath = out.FreshPath();
    TTempFileGuard guard(tempPath);

    // Hashed on a second thread while this one inflates and writes: the proof's digest
    // costs no time of its own where a second core is free.
    TBackgroundDigest sha(EDigest::Sha256, ChunkBytes);
    const bool sizeKnown = (st.valid & ZIP_STAT_SIZE) != 0;
    std::uint64_t written = 0;
    for (;;) {
        std::vector<char> buffer = sha.TakeBuffer();
        const zip_int64_t n = zip_fread(zf.get(), buffer.data(), buffer.size());
        if (n < 0) {
            error = std::string("broken entry ") + st.name + ": " + zip_file_strerror(zf.get());
            return false;
        }
        if (n == 0) {
            break;
        }
        const auto count = static_cast<std::uint64_t>(n);
        written += count;
        if (sizeKnown && written > st.size) {
            error = std::string("entry ") + st.name + " is larger than its header says";
            return false;
        }
        if (written > maxBytes) {
            error = "the package unpacks to more than " + std::to_string(maxBytes) + " bytes";
            return false;
        }
        if (const platform::TIoResult w = out.WriteAll(buffer.data(), static_cast<std::size_t>(n));
            !w.Ok()) {
            error = OsError("cannot write " + fileName, w.Error);
            return false;
        }
        sha.Hash(std::move(buffer), static_cast<std::size_t>(n));
    }
    if (zip_fclose(zf.release()) != 0) {
        error = std::string("broken entry ") + st.name;
        return false;
    }
    if (sizeKnown && written != st.size) {
        error = std::string("entry ") + st.name + " is shorter than its header says";
        return false;
    }
    // On disk before it gets its real name: a power cut must not leave a renamed file
    // whose blocks never reached the disk.
    int failed = out.Sync();
    if (const int closed = out.Close(); failed == 0) {
        failed = closed;
    }
    if (failed != 0) {
        error = OsError("cannot write " + fileName, failed);
        return false;
    }
    // A rename replaces a file or a planted link without following it; a folder in the
    // way is removed first.
    if (const int moved = platform::ReplacePath(tempPath, target); moved != 0) {
        error = OsError("cannot put " + fileName + " in place", moved);
        return false;
    }
    guard.Keep();
    unpacked.Sha256 = HexOf(sha.Final());
    unpacked.Size = written;
    return true;
}

} // namespace

bool IsSafeEntryName(const std::string& name) {
    if (name.empty() || name.front() == '/') {
        return false;
    }
    // A backslash or a drive letter means a Windows path, which could leave the folder.
    if (name.find('\\') != std::string::npos || name.find(':') != std::string::npos) {
        return false;
    }
    const std::vector<std::string> parts = Components(name);
    if (parts.empty()) {
        return false;
    }
    for (const std::string& part : parts) {
        if (part == "..") {
            return false;
        }
    }
    return true;
}

bool UnzipEntry(const std::string& package, const std::string& target,
                std::uint64_t maxUnpackedBytes, TUnpackedFile& unpacked, std::string& error) {
    const std::string wanted = platform::FileNameOf(target);
    if (wanted.empty() || wanted == "." || wanted == "..") {
        error = "no file name to unpack to";
        return false;
    }
    int zipError = 0;
    TZipArchive za(zip_open(package.c_str(), ZIP_RDONLY, &zipError));
    if (!za) {
        error = "cannot open " + package + ": " + ZipErrorText(zipError);
        return false;
    }
    const zip_int64_t count = zip_get_num_entries(za.get(), 0);
    if (count < 0) {
        error = "cannot list " + package;
        return false;
    }

    // Check the whole archive before anything is written.
    zip_stat_t found;
    zip_int64_t foundIndex = -1;
    std::uint64_t declared = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(za.get(), index, 0, &st) != 0 || (st.valid & ZIP_STAT_NAME) == 0) {
            error = "cannot read entry " + std::to_string(i) + " of " + package;
            return false;
        }
        const std::string name = st.name;
        if (!IsSafeEntryName(name)) {
            error = "refused entry name \"" + name + "\"";
            return false;
        }
        const std::string why = RefusedKind(za.get(), index);
        if (!why.empty()) {
            error = "refused entry \"" + name + "\": " + why;
            return false;
        }
        if ((st.valid & ZIP_STAT_SIZE) != 0) {
            declared += st.size;
            if (st.size > maxUnpackedBytes || declared > maxUnpackedBytes) {
                error = "the package unpacks to more than " + std::to_string(maxUnpackedBytes) +
                        " bytes";
                return false;
            }
        }
        if (name.back() != '/' && Components(name) == std::vector<std::string>{wanted}) {
            found = st;
            foundIndex = i;
        }
    }
    if (foundIndex < 0) {
        error = "the package holds no file " + wanted + " at its top level";
        return false;
    }
    return ExtractTo(za.get(), static_cast<zip_uint64_t>(foundIndex), found, target,
                     maxUnpackedBytes, unpacked, error);
}

bool TUpgradeOpt::UnzipPackage(const std::string& package, const std::string& target) {
    std::string error;
    TUnpackedFile unpacked;
    return UnzipEntry(package, target, MaxUnpackedBytes, unpacked, error) &&
           platform::FileExists(target);
}

} // namespace torvane
