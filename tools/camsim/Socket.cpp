#include "Socket.h"

#include "Error.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace camsim {

TSocket& TSocket::operator=(TSocket&& other) noexcept {
    if (this != &other) {
        Close();
        FFd = other.Release();
    }
    return *this;
}

int TSocket::Release() {
    const int fd = FFd;
    FFd = -1;
    return fd;
}

void TSocket::Close() {
    if (FFd >= 0) {
        ::close(FFd);
        FFd = -1;
    }
}

void SetNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        throw TRuntimeError("cannot make a socket non-blocking: " + SystemError(errno));
    }
}

std::string SystemError(int error) {
    return std::strerror(error);
}

TSocket ListenTcp(TLoopbackEndpoint& endpoint) {
    TSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket.IsOpen()) {
        throw TRuntimeError("cannot create a TCP socket: " + SystemError(errno));
    }
    const int on = 1;
    ::setsockopt(socket.Fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = endpoint.SocketAddress();
    if (::bind(socket.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throw TRuntimeError("cannot listen on " + endpoint.Text() + ": " + SystemError(errno));
    }
    if (::listen(socket.Fd(), 64) != 0) {
        throw TRuntimeError("cannot listen on " + endpoint.Text() + ": " + SystemError(errno));
    }
    if (endpoint.Port() == 0) {
        sockaddr_in bound{};
        socklen_t length = sizeof bound;
        ::getsockname(socket.Fd(), reinterpret_cast<sockaddr*>(&bound), &length);
        endpoint.SetPort(ntohs(bound.sin_port));
    }
    return socket;
}

} // namespace camsim
