#include "upgrade/Unzip.h"

#include "platform/Folders.h"
#include "upgrade/uIUpgradeOpt.h"

#include <zip.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace torvane {

namespace {

constexpr std::size_t ChunkBytes = 1 << 20;
// Room left in a file name for the temporary name's decoration.
constexpr std::size_t MaxTempStemBytes = 200;

// --- RAII owners of the handles used here ----------------------------------------------

class TFd {
public:
    TFd() = default;
    explicit TFd(int fd) : FFd(fd) {}
    ~TFd() { Reset(); }
    TFd(TFd&& other) noexcept : FFd(other.Release()) {}
    TFd& operator=(TFd&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;

    [[nodiscard]] int Get() const { return FFd; }
    [[nodiscard]] bool Valid() const { return FFd >= 0; }
    int Release() {
        const int fd = FFd;
        FFd = -1;
        return fd;
    }
    void Reset(int fd = -1) {
        if (FFd >= 0) {
            ::close(FFd);
        }
        FFd = fd;
    }
    // Closes and reports whether the close succeeded (a late write error shows here).
    [[nodiscard]] bool Close() {
        const int fd = Release();
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int FFd = -1;
};

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
    TTempFileGuard(int dirFd, std::string name) : FDirFd(dirFd), FName(std::move(name)) {}
    ~TTempFileGuard() {
        if (!FName.empty()) {
            ::unlinkat(FDirFd, FName.c_str(), 0);
        }
    }
    TTempFileGuard(const TTempFileGuard&) = delete;
    TTempFileGuard& operator=(const TTempFileGuard&) = delete;
    void Keep() { FName.clear(); }

private:
    int FDirFd;
    std::string FName;
};

std::string ZipErrorText(int code) {
    zip_error_t err;
    zip_error_init_with_code(&err, code);
    std::string text = zip_error_strerror(&err);
    zip_error_fini(&err);
    return text;
}

std::string OsError(const std::string& what) {
    return what + ": " + std::strerror(errno);
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

// Opens (creating when needed) the folder chain below root without following a link at
// any level: a link planted there makes the entry fail instead of leading elsewhere.
bool OpenFolderChain(int rootFd, const std::vector<std::string>& folders, TFd& out,
                     std::string& error) {
    TFd current(::fcntl(rootFd, F_DUPFD_CLOEXEC, 0));
    if (!current.Valid()) {
        error = OsError("cannot use the destination folder");
        return false;
    }
    for (const std::string& folder : folders) {
        if (::mkdirat(current.Get(), folder.c_str(), 0777) != 0 && errno != EEXIST) {
            error = OsError("cannot create folder " + folder);
            return false;
        }
        TFd next(::openat(current.Get(), folder.c_str(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next.Valid()) {
            error = OsError("cannot open folder " + folder);
            return false;
        }
        current = std::move(next);
    }
    out = std::move(current);
    return true;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A fresh file in dirFd named after fileName, opened exclusively (never through a link).
TFd CreateTempFile(int dirFd, const std::string& fileName, std::string& tempName) {
    static std::atomic<unsigned> counter{0};
    const std::string stem = fileName.substr(0, MaxTempStemBytes);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = "." + stem + ".part-" + std::to_string(::getpid()) + "-" +
                   std::to_string(counter.fetch_add(1));
        TFd fd(::openat(dirFd, tempName.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (fd.Valid() || errno != EEXIST) {
            return fd;
        }
    }
    return TFd();
}

struct TUnpackBudget {
    std::uint64_t Limit = 0;
    std::uint64_t Used = 0;
};

bool ExtractFile(zip_t* za, zip_uint64_t index, const zip_stat_t& st, int rootFd,
                 const std::vector<std::string>& parts, std::vector<char>& buffer,
                 TUnpackBudget& budget, std::string& error) {
    const std::string& fileName = parts.back();
    TFd dir;
    if (!OpenFolderChain(rootFd, std::vector<std::string>(parts.begin(), parts.end() - 1), dir,
                         error)) {
        return false;
    }
    TZipFile zf(zip_fopen_index(za, index, 0));
    if (!zf) {
        error = std::string("cannot read entry ") + st.name + ": " + zip_strerror(za);
        return false;
    }
    std::string tempName;
    TFd out = CreateTempFile(dir.Get(), fileName, tempName);
    if (!out.Valid()) {
        error = OsError("cannot create a file for " + fileName);
        return false;
    }
    TTempFileGuard guard(dir.Get(), tempName);

    const bool sizeKnown = (st.valid & ZIP_STAT_SIZE) != 0;
    std::uint64_t written = 0;
    for (;;) {
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
        budget.Used += count;
        if (sizeKnown && written > st.size) {
            error = std::string("entry ") + st.name + " is larger than its header says";
            return false;
        }
        if (budget.Used > budget.Limit) {
            error = "the package unpacks to more than " + std::to_string(budget.Limit) + " bytes";
            return false;
        }
        if (!WriteAll(out.Get(), buffer.data(), static_cast<std::size_t>(n))) {
            error = OsError("cannot write " + fileName);
            return false;
        }
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
    if (::fsync(out.Get()) != 0 || !out.Close()) {
        error = OsError("cannot write " + fileName);
        return false;
    }
    // renameat replaces whatever has the name, a planted link included, without
    // following it.
    if (::renameat(dir.Get(), tempName.c_str(), dir.Get(), fileName.c_str()) != 0) {
        error = OsError("cannot put " + fileName + " in place");
        return false;
    }
    guard.Keep();
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

bool UnzipToFolder(const std::string& package, const std::string& destFolder,
                   std::uint64_t maxUnpackedBytes, std::string& error) {
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
    std::vector<zip_stat_t> entries(static_cast<std::size_t>(count));
    std::uint64_t declared = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t& st = entries[static_cast<std::size_t>(i)];
        zip_stat_init(&st);
        if (zip_stat_index(za.get(), static_cast<zip_uint64_t>(i), 0, &st) != 0 ||
            (st.valid & ZIP_STAT_NAME) == 0) {
            error = "cannot read entry " + std::to_string(i) + " of " + package;
            return false;
        }
        if (!IsSafeEntryName(st.name)) {
            error = std::string("refused entry name \"") + st.name + "\"";
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
    }

    const std::string folder = destFolder.empty() ? std::string(".") : destFolder;
    TFd root(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.Valid()) {
        error = OsError("cannot open " + folder);
        return false;
    }
    std::vector<char> buffer(ChunkBytes);
    TUnpackBudget budget{maxUnpackedBytes, 0};
    for (zip_int64_t i = 0; i < count; ++i) {
        const zip_stat_t& st = entries[static_cast<std::size_t>(i)];
        const std::string name = st.name;
        const std::vector<std::string> parts = Components(name);
        if (name.back() == '/') {
            TFd made;
            if (!OpenFolderChain(root.Get(), parts, made, error)) {
                return false;
            }
            continue;
        }
        if (!ExtractFile(za.get(), static_cast<zip_uint64_t>(i), st, root.Get(), parts, buffer,
                         budget, error)) {
            return false;
        }
    }
    return true;
}

bool TUpgradeOpt::UnzipPackage(const std::string& package, const std::string& target) {
    std::string error;
    if (!UnzipToFolder(package, platform::FolderOf(target), MaxUnpackedBytes, error)) {
        return false;
    }
    return platform::FileExists(target);
}

} // namespace torvane
