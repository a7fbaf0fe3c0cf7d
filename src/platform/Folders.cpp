#include "platform/Folders.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace torvane::platform {

namespace {

std::string EnvOr(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') {
        return v;
    }
    return fallback != nullptr ? fallback : "";
}

} // namespace

std::string PrivateFolder(const std::string& path) {
    if (path.empty()) {
        return {};
    }
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return {};
    }
    struct stat st {};
    // lstat: a link planted in a shared /tmp must never be followed.
    if (::lstat(path.c_str(), &st) != 0) {
        return {};
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 0077) != 0) {
        return {};
    }
    return path + "/";
}

std::string TempFolderBase() {
    return WithTrailingSeparator(EnvOr("TMPDIR", "/tmp"));
}

std::string EnvironmentValue(const char* name) {
    return EnvOr(name, nullptr);
}

std::string CurrentFolder() {
    std::vector<char> buf(4096);
    for (;;) {
        if (::getcwd(buf.data(), buf.size()) != nullptr) {
            return std::string(buf.data());
        }
        if (errno != ERANGE || buf.size() >= (std::size_t{1} << 20)) {
            return {};
        }
        buf.resize(buf.size() * 2);
    }
}

std::optional<std::string> EnvironmentVariable(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? std::optional<std::string>(v) : std::nullopt;
}

std::string TempFolder() {
    std::string base = EnvOr("TMPDIR", "/tmp");
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    return PrivateFolder(base + "/torvane-" + std::to_string(::getuid()));
}

std::string RuntimeFolder() {
    std::string base = EnvOr("XDG_RUNTIME_DIR", nullptr);
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    struct stat st {};
    // The session's runtime folder is the user's own (usually /run/user/<uid>, 0700). One
    // that is not ours or that others may write to is ignored, as the XDG rules ask.
    if (!base.empty() && base.front() == '/' && ::stat(base.c_str(), &st) == 0 &&
        S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 0022) == 0) {
        const std::string folder = PrivateFolder(base + "/torvane");
        if (!folder.empty()) {
            return folder;
        }
    }
    return PrivateFolder("/tmp/torvane-runtime-" + std::to_string(::getuid()));
}

std::string ConfigFolder() {
    std::string folder = EnvOr("XDG_CONFIG_HOME", nullptr);
    if (folder.empty()) {
        const std::string home = EnvOr("HOME", nullptr);
        if (home.empty()) {
            return {};
        }
        folder = WithTrailingSeparator(home) + ".config";
    }
    return WithTrailingSeparator(folder);
}

std::string ModulePath() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) {
        return {};
    }
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string FileNameOf(const std::string& path) {
    const auto pos = path.rfind('/');
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string FolderOf(const std::string& path) {
    const auto pos = path.rfind('/');
    return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string WithTrailingSeparator(const std::string& folder) {
    if (folder.empty() || folder.back() == '/') {
        return folder;
    }
    return folder + "/";
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsSymbolicLink(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool MakeFolder(const std::string& path, unsigned mode) {
    if (path.empty()) {
        return false;
    }
    if (::mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0) {
        return true;
    }
    return errno == EEXIST && FolderExists(path);
}

bool RemoveFile(const std::string& path) {
    return !path.empty() && ::unlink(path.c_str()) == 0;
}

bool RemoveFolder(const std::string& path) {
    return !path.empty() && ::rmdir(path.c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

std::vector<TDirEntry> ListFolder(const std::string& folder) {
    std::vector<TDirEntry> entries;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) {
        return entries;
    }
    const std::string prefix = WithTrailingSeparator(folder);
    while (const dirent* de = ::readdir(dir)) {
        const std::string name = de->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        TDirEntry e;
        e.Name = name;
        struct stat st {};
        if (::lstat((prefix + name).c_str(), &st) == 0) {
            e.IsLink = S_ISLNK(st.st_mode);
            e.IsFolder = S_ISDIR(st.st_mode);
            e.ModifiedTime = static_cast<std::int64_t>(st.st_mtime);
        }
        entries.push_back(std::move(e));
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const TDirEntry& a, const TDirEntry& b) { return a.Name < b.Name; });
    return entries;
}

bool ReadFileBytes(const std::string& path, std::string& out, std::size_t maxBytes) {
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    char buf[65536];
    bool ok = true;
    while (out.size() < maxBytes) {
        const std::size_t want = std::min(sizeof buf, maxBytes - out.size());
        const ssize_t n = ::read(fd, buf, want);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ok = false;
            break;
        }
        if (n == 0) {
            break;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ok;
}

bool WriteFileAtomic(const std::string& path, const std::string& data) {
    std::string tmpl = FolderOf(path) + "." + FileNameOf(path) + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        return false;
    }
    const std::string tmp(name.data());
    std::size_t done = 0;
    bool ok = true;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    // Files that other users of the machine may read (packs, settings): 0644 minus umask.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ok = ok && ::fchmod(fd, 0666 & ~mask) == 0;
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(tmp.c_str(), path.c_str()) == 0) {
        return true;
    }
    const int saved = errno;
    ::unlink(tmp.c_str());
    errno = saved;
    return false;
}

std::string LastErrorText() {
    return std::strerror(errno);
}

} // namespace torvane::platform
