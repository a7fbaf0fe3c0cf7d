#pragma once
// One window program per user: the first copy holds an exclusive lock on
// "<runtime folder>IP Camera Torvane.lock" for as long as it runs and listens on a local
// socket beside it; a later copy finds the lock taken and asks the first, through that
// socket, to bring its window to the front. The runtime folder (platform::RuntimeFolder)
// does not depend on TMPDIR, so copies started with different temporary folders, or with
// a temporary folder that is refused, still find each other.

#include "platform/InstanceLock.h"

#include <QObject>
#include <QString>

#include <functional>
#include <string>

class QLocalServer;

namespace torvane {

class TInstanceGuard : public QObject {
    Q_OBJECT
public:
    explicit TInstanceGuard(QObject* parent = nullptr);
    ~TInstanceGuard() override;

    // True when this is the only copy (the lock is now ours), or when no lock can be made
    // at all (no private runtime folder, neither the session's nor the fallback in /tmp):
    // then nothing can be checked and the copy runs.
    [[nodiscard]] bool Acquire();
    // Serves raise requests of later copies; onRaise runs on the GUI thread.
    void Listen(std::function<void()> onRaise);
    // Asks the copy that holds the lock to raise its window. False when none answered.
    static bool AskRunningCopyToRaise();

    [[nodiscard]] static std::string LockPath();
    [[nodiscard]] static QString ServerName();

private:
    platform::TFileLock FLock;
    QLocalServer* FServer = nullptr;
    std::function<void()> FOnRaise;
};

} // namespace torvane
