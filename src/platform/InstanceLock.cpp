#include "platform/InstanceLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace torvane::platform {

TFileLock::~TFileLock() {
    Close();
}

TFileLock::TFileLock(TFileLock&& other) noexcept : FFd(std::exchange(other.FFd, -1)) {}

TFileLock& TFileLock::operator=(TFileLock&& other) noexcept {
    if (this != &other) {
        Close();
        FFd = std::exchange(other.FFd, -1);
    }
    return *this;
}

bool TFileLock::Open(const std::string& path) {
    Close();
    FFd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    return FFd >= 0;
}

bool TFileLock::LockShared() {
    if (FFd < 0) {
        return false;
    }
    while (::flock(FFd, LOCK_SH) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool TFileLock::TryLockExclusive() {
    return FFd >= 0 && ::flock(FFd, LOCK_EX | LOCK_NB) == 0;
}

void TFileLock::Unlock() {
    if (FFd >= 0) {
        (void)::flock(FFd, LOCK_UN);
    }
}

void TFileLock::Close() {
    if (FFd >= 0) {
        ::close(FFd);
        FFd = -1;
    }
}

} // namespace torvane::platform
