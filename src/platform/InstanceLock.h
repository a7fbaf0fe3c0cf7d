#pragma once
// Cross-process locks on lock files in the private temporary folder: the single-instance
// lock of the window, and the shared use of the language-pack folder by several copies.

#include <string>

namespace torvane::platform {

// An flock()ed file. Move-only; the lock goes with the object (or the process).
class TFileLock {
public:
    TFileLock() = default;
    ~TFileLock();
    TFileLock(TFileLock&& other) noexcept;
    TFileLock& operator=(TFileLock&& other) noexcept;
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

    // Opens (creating, 0600) the lock file. False when it cannot be opened.
    [[nodiscard]] bool Open(const std::string& path);
    // Shared lock, waiting for an exclusive holder to finish.
    [[nodiscard]] bool LockShared();
    // Exclusive lock without waiting; false when another holder has it (shared or not).
    [[nodiscard]] bool TryLockExclusive();
    void Unlock();
    void Close();
    [[nodiscard]] bool IsOpen() const { return FFd >= 0; }

private:
    int FFd = -1;
};

} // namespace torvane::platform
