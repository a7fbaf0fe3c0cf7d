#pragma once
// Cross-process locks on lock files in the private temporary folder: the single-instance
// lock of the window, and the shared use of the language-pack folder by several copies.

#include "platform/File.h"

#include <string>

namespace torvane::platform {

// An flock()ed file. Move-only (as its TFile is); the lock goes with the object (or the
// process).
class TFileLock {
public:

    // Opens (creating, 0600) the lock file. False when it cannot be opened.
    [[nodiscard]] bool Open(const std::string& path);
    // Shared lock, waiting for an exclusive holder to finish.
    [[nodiscard]] bool LockShared();
    // Exclusive lock without waiting; false when another holder has it (shared or not).
    [[nodiscard]] bool TryLockExclusive();
    // The same, telling why: 0 when locked, EWOULDBLOCK when another holder has it,
    // otherwise the system's error.
    [[nodiscard]] int TryLockExclusiveError();
    // Exclusive lock, waiting for the other holders to finish.
    [[nodiscard]] bool LockExclusive();
    // Why Open failed (0 when the file is open).
    [[nodiscard]] int OpenError() const { return FFile.OpenError(); }
    void Unlock();
    void Close();
    [[nodiscard]] bool IsOpen() const { return FFile.IsOpen(); }

private:
    TFile FFile;
};

} // namespace torvane::platform
