#include "app/InstanceGuard.h"

#include "i18n/qt/QtText.h"
#include "platform/Folders.h"
#include "platform/Sleeper.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace torvane {

namespace {

constexpr const char* InstanceName = "IP Camera Torvane";
constexpr const char* RaiseRequest = "raise\n";
constexpr int RequestTimeoutMs = 2000;

} // namespace

TInstanceGuard::TInstanceGuard(QObject* parent) : QObject(parent) {}

TInstanceGuard::~TInstanceGuard() {
    if (FServer != nullptr) {
        FServer->close();
    }
}

std::string TInstanceGuard::LockPath() {
    const std::string folder = platform::RuntimeFolder();
    return folder.empty() ? std::string() : folder + InstanceName + ".lock";
}

QString TInstanceGuard::ServerName() {
    // A full path inside the private runtime folder, so the socket is per user and no one
    // else can bind or reach it.
    const std::string folder = platform::RuntimeFolder();
    return folder.empty() ? QString() : ToQ(folder + InstanceName + ".sock");
}

bool TInstanceGuard::Acquire() {
    const std::string path = LockPath();
    if (path.empty() || !FLock.Open(path)) {
        return true;
    }
    if (FLock.TryLockExclusive()) {
        return true;
    }
    FLock.Close();
    return false;
}

void TInstanceGuard::Listen(std::function<void()> onRaise) {
    const QString name = ServerName();
    if (name.isEmpty() || !FLock.IsOpen()) {
        return;
    }
    FOnRaise = std::move(onRaise);
    // A socket left by a copy that was killed: we hold the lock, so it is nobody's.
    QLocalServer::removeServer(name);
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(FServer, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = FServer->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (peer->readAll().contains("raise") && FOnRaise) {
                    FOnRaise();
                }
                peer->disconnectFromServer();
            });
        }
    });
    (void)FServer->listen(name);
}

bool TInstanceGuard::AskRunningCopyToRaise() {
    const QString name = ServerName();
    if (name.isEmpty()) {
        return false;
    }
    QLocalSocket socket;
    socket.connectToServer(name);
    const int timeout = platform::TimeoutMs(RequestTimeoutMs);
    if (!socket.waitForConnected(timeout)) {
        return false;
    }
    socket.write(RaiseRequest);
    const bool sent = socket.waitForBytesWritten(timeout);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        (void)socket.waitForDisconnected(timeout);
    }
    return sent;
}

} // namespace torvane
