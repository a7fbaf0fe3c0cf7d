#include "platform/InstanceLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace torvane::platform {

namespace {

// flock() again after a signal; 0 when the lock was had, otherwise errno.
int FlockError(int fd, int operation) {
    while (::flock(fd, operation) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

} // namespace

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
    return FlockError(FFile.Handle(), LOCK_SH) == 0;
}

bool TFileLock::TryLockExclusive() {
    return FFile.IsOpen() && ::flock(FFile.Handle(), LOCK_EX | LOCK_NB) == 0;
}

int TFileLock::TryLockExclusiveError() {
    if (!FFile.IsOpen()) {
        return FFile.OpenError() != 0 ? FFile.OpenError() : EBADF;
    }
    const int error = FlockError(FFile.Handle(), LOCK_EX | LOCK_NB);
    return error == EAGAIN ? EWOULDBLOCK : error;
}

bool TFileLock::LockExclusive() {
    if (!FFile.IsOpen()) {
        return false;
    }
    return FlockError(FFile.Handle(), LOCK_EX) == 0;
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
