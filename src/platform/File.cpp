#include "platform/File.h"

#include "platform/FileOps.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace torvane::platform {

std::string ErrorText(int error) {
    return std::strerror(error);
}

TFile::~TFile() {
    (void)Close();
}

TFile::TFile(TFile&& other) noexcept
    : FFd(std::exchange(other.FFd, -1)), FOpenError(other.FOpenError),
      FFreshPath(std::move(other.FFreshPath)) {}

TFile& TFile::operator=(TFile&& other) noexcept {
    if (this != &other) {
        (void)Close();
        FFd = std::exchange(other.FFd, -1);
        FOpenError = other.FOpenError;
        FFreshPath = std::move(other.FFreshPath);
    }
    return *this;
}

TFile TFile::OpenForReading(const std::string& path, bool noFollow) {
    const int flags = O_RDONLY | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0);
    const int fd = ::open(path.c_str(), flags);
    return Adopt(fd, fd < 0 ? errno : 0);
}

TFile TFile::OpenPlainForReading(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    return Adopt(fd, fd < 0 ? errno : 0);
}

TFile TFile::OpenForRewriting(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    return Adopt(fd, fd < 0 ? errno : 0);
}

TFile TFile::CreateFreshBeside(const std::string& path, const std::string& suffix, unsigned mode) {
    std::string fresh;
    const int fd = CreateFreshFileBeside(path, suffix, fresh, mode);
    TFile file = Adopt(fd, fd < 0 ? errno : 0);
    file.FFreshPath = std::move(fresh);
    return file;
}

TFile TFile::Adopt(int fd, int openError) {
    TFile file;
    file.FFd = fd;
    file.FOpenError = fd >= 0 ? 0 : (openError != 0 ? openError : EBADF);
    return file;
}

TIoResult TFile::Read(void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(FFd, buffer, size);
        if (n >= 0) {
            return {static_cast<std::size_t>(n), 0};
        }
        if (errno != EINTR) {
            return {0, errno};
        }
    }
}

TIoResult TFile::WriteAll(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(FFd, bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return {done, errno};
        }
        done += static_cast<std::size_t>(n);
    }
    return {done, 0};
}

int TFile::Sync() {
    return ::fsync(FFd) == 0 ? 0 : errno;
}

int TFile::Truncate(std::uint64_t size) {
    return ::ftruncate(FFd, static_cast<off_t>(size)) == 0 ? 0 : errno;
}

TFileInfo TFile::Info() const {
    struct stat st {};
    if (::fstat(FFd, &st) != 0) {
        return {errno, false, 0};
    }
    return {0, S_ISREG(st.st_mode), static_cast<std::uint64_t>(st.st_size)};
}

int TFile::Close() {
    const int fd = std::exchange(FFd, -1);
    if (fd < 0) {
        return 0;
    }
    return ::close(fd) == 0 ? 0 : errno;
}

EFileKind FileKindOfMode(std::uint32_t mode) {
    switch (static_cast<mode_t>(mode) & S_IFMT) {
    case 0:
        return EFileKind::Unknown;
    case S_IFREG:
        return EFileKind::Regular;
    case S_IFDIR:
        return EFileKind::Folder;
    case S_IFLNK:
        return EFileKind::Link;
    default:
        return EFileKind::Special;
    }
}

EFileKind PathKind(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return EFileKind::Unknown;
    }
    return FileKindOfMode(static_cast<std::uint32_t>(st.st_mode));
}

} // namespace torvane::platform
