#include "platform/FileOps.h"

#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "platform/Text.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace torvane::platform {

bool ForceFolder(const std::string& path) {
    if (path.empty() || FolderExists(path)) {
        return true;
    }
    for (std::size_t pos = path.find('/', 1); pos != std::string::npos;
         pos = path.find('/', pos + 1)) {
        (void)MakeFolder(path.substr(0, pos));
    }
    if (path.back() != '/') {
        (void)MakeFolder(path);
    }
    return FolderExists(path);
}

void DeleteFolder(const std::string& folder, bool removeFolder) {
    if (folder.empty()) {
        return;
    }
    std::string bare = folder;
    while (bare.size() > 1 && bare.back() == '/') {
        bare.pop_back();
    }
    if (IsSymbolicLink(bare)) {
        // Never walk into a link: remove the link itself when asked to remove the folder.
        if (removeFolder) {
            (void)RemoveFile(bare);
        }
        return;
    }
    const std::string prefix = bare + "/";
    for (const TDirEntry& e : ListFolder(prefix)) {
        const std::string path = prefix + e.Name;
        if (e.IsFolder && !e.IsLink) {
            // A read-only folder cannot have its entries removed: make it writable first.
            (void)::chmod(path.c_str(), 0700);
            DeleteFolder(path, true);
            if (FolderExists(path) && !IsSymbolicLink(path)) {
                return;
            }
        } else if (!RemoveFile(path)) {
            return;
        }
    }
    if (removeFolder) {
        (void)RemoveFolder(bare);
    }
}

bool MatchesMask(std::string_view name, std::string_view mask) {
    if (mask == "*.*" || mask == "*") {
        return true;
    }
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    // Iterative glob with one backtrack point per "*".
    std::size_t n = 0;
    std::size_t m = 0;
    std::size_t starM = std::string_view::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || fold(mask[m]) == fold(name[n]))) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starM = m++;
            starN = n;
        } else if (starM != std::string_view::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') {
        ++m;
    }
    return m == mask.size();
}

void FindFiles(std::vector<TFoundFile>& list, const std::string& folder, bool skipDuplicates,
               const std::function<bool()>& continueSearch, bool recurse,
               const std::string& masks) {
    if (folder.empty()) {
        return;
    }
    const std::string base = WithTrailingSeparator(folder);
    std::vector<std::string> maskList;
    SplitText(masks, Contains(masks, ";") ? ";" : "|", maskList);
    const std::vector<TDirEntry> entries = ListFolder(base);
    for (const std::string& mask : maskList) {
        for (const TDirEntry& e : entries) {
            if (e.IsFolder || !MatchesMask(e.Name, mask)) {
                continue;
            }
            if (e.IsLink && !FileExists(base + e.Name)) {
                continue; // a link to a folder or to nothing is no file
            }
            const std::string path = base + e.Name;
            if (skipDuplicates) {
                bool seen = false;
                for (const TFoundFile& f : list) {
                    if (SameTextAscii(f.Path, path)) {
                        seen = true;
                        break;
                    }
                }
                if (seen) {
                    continue;
                }
            }
            list.push_back({path, e.ModifiedTime});
        }
    }
    if (recurse && (!continueSearch || continueSearch())) {
        for (const TDirEntry& e : entries) {
            if (e.IsFolder && !e.IsLink) {
                FindFiles(list, base + e.Name + "/", true, nullptr, true, masks);
            }
        }
    }
}

} // namespace torvane::platform

namespace torvane::platform {

namespace {

// Room left in a file name (255 bytes) for the dot, the unique part and a suffix.
constexpr std::size_t MaxFreshStemBytes = 200;

std::string UniquePart() {
    static std::atomic<unsigned> counter{0};
    std::uint32_t random = 0;
    if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        random = static_cast<std::uint32_t>(
            std::chrono::steady_clock::now().time_since_epoch().count());
    }
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(random));
    return std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) + "-" + hex;
}

// Creates "." + stem + "." + unique + suffix in the folder open as dirFd; prefix (a folder
// path with its separator, or empty) goes in front of the name given to openat.
int CreateFresh(int dirFd, const std::string& prefix, const std::string& stem,
                const std::string& suffix, std::string& name, unsigned mode) {
    const std::string cut = stem.substr(0, MaxFreshStemBytes);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = "." + cut + "." + UniquePart() + suffix;
        const int fd = ::openat(dirFd, (prefix + name).c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                static_cast<mode_t>(mode));
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

} // namespace

int CreateFreshFileAt(int dirFd, const std::string& stem, const std::string& suffix,
                      std::string& name, unsigned mode) {
    return CreateFresh(dirFd, {}, stem, suffix, name, mode);
}

int CreateFreshFileBeside(const std::string& path, const std::string& suffix,
                          std::string& freshPath, unsigned mode) {
    const std::string folder = FolderOf(path);
    std::string name;
    const int fd = CreateFresh(AT_FDCWD, folder, FileNameOf(path), suffix, name, mode);
    freshPath = fd >= 0 ? folder + name : std::string();
    return fd;
}

bool RemovePath(const std::string& path) {
    struct stat st {};
    if (path.empty()) {
        return false;
    }
    if (::lstat(path.c_str(), &st) != 0) {
        return errno == ENOENT;
    }
    if (S_ISDIR(st.st_mode)) {
        // A read-only folder cannot have its entries removed: make it writable first.
        (void)::chmod(path.c_str(), 0700);
        DeleteFolder(path, true);
    } else {
        (void)RemoveFile(path);
    }
    return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

int ReplacePath(const std::string& from, const std::string& to) {
    if (RenameFile(from, to)) {
        return 0;
    }
    const int error = errno;
    if (error != EISDIR && error != ENOTEMPTY && error != EEXIST) {
        return error;
    }
    // A folder has the name: it goes, then the file takes its place.
    if (!RemovePath(to)) {
        return error;
    }
    return RenameFile(from, to) ? 0 : errno;
}

std::string AppDataFolderOf(const std::string& programFileName, bool create) {
    const std::string special = ConfigFolder();
    if (special.empty()) {
        return {};
    }
    std::string name = programFileName;
    if (name.size() > 4 && name[name.size() - 4] == '.') {
        name.resize(name.size() - 4);
    }
    // Without a separator the settings file would land beside the folder, not in it.
    const std::string folder = WithTrailingSeparator(special + name);
    if (create) {
        (void)ForceFolder(folder);
    }
    return folder;
}

} // namespace torvane::platform
