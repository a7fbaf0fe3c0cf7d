#include "platform/InstanceLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace torvane::platform {

bool TFileLock::Open(const std::string& path) {
    Close();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    FFile = TFile::Adopt(fd, fd < 0 ? errno : 0);
    return FFile.IsOpen();
}

bool TFileLock::LockShared() {
    if (!FFile.IsOpen()) {
        return false;
    }
    while (::flock(FFile.Handle(), LOCK_SH) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool TFileLock::TryLockExclusive() {
    return FFile.IsOpen() && ::flock(FFile.Handle(), LOCK_EX | LOCK_NB) == 0;
}

int TFileLock::TryLockExclusiveError() {
    if (!FFile.IsOpen()) {
        return FFile.OpenError() != 0 ? FFile.OpenError() : EBADF;
    }
    for (;;) {
        if (::flock(FFile.Handle(), LOCK_EX | LOCK_NB) == 0) {
            return 0;
        }
        if (errno != EINTR) {
            return errno == EAGAIN ? EWOULDBLOCK : errno;
        }
    }
}

bool TFileLock::LockExclusive() {
    if (!FFile.IsOpen()) {
        return false;
    }
    while (::flock(FFile.Handle(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

void TFileLock::Unlock() {
    if (FFile.IsOpen()) {
        (void)::flock(FFile.Handle(), LOCK_UN);
    }
}

void TFileLock::Close() {
    (void)FFile.Close();
}

} // namespace torvane::platform
