#include "platform/Socket.h"

#include "platform/DatagramMessage.h"
#include "platform/Interfaces.h"
#include "platform/Sleeper.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace torvane::platform {

namespace {

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    return sa;
}

// poll() on one descriptor for up to ms milliseconds (negative: no limit), resumed after
// signals with the time that is left. The result of poll; on failure error holds errno.
int PollOne(int fd, short events, int ms, int& error) {
    using TClock = std::chrono::steady_clock;
    const auto deadline = TClock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
    for (;;) {
        pollfd p{};
        p.fd = fd;
        p.events = events;
        int wait = -1;
        if (ms >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
            wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        const int rc = ::poll(&p, 1, wait);
        if (rc >= 0) {
            return rc;
        }
        if (errno != EINTR) {
            error = errno;
            return rc;
        }
    }
}

// Milliseconds from now until deadline, 0 when it has passed, capped to what poll takes.
int MsUntil(TDeadline deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, 0x7FFFFFFF)) : 0;
}

TWaitResult WaitResultOf(int rc) {
    return rc < 0 ? TWaitResult::Failed : rc == 0 ? TWaitResult::TimedOut : TWaitResult::Ready;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Addresses

bool ParseIPv4(std::string_view text, std::uint32_t& out) {
    // glibc's inet_pton takes exactly four decimal parts of 0..255 and refuses leading
    // zeros, blanks and every other character; the text needs a terminating zero of its
    // own, so one with a zero byte inside never passes.
    if (text.size() > 15 || text.find('\0') != std::string_view::npos) {
        return false;
    }
    char buffer[16] = {};
    std::memcpy(buffer, text.data(), text.size());
    in_addr address{};
    if (::inet_pton(AF_INET, buffer, &address) != 1) {
        return false;
    }
    out = ntohl(address.s_addr);
    return true;
}

std::string IPv4ToText(std::uint32_t address) {
    in_addr a{};
    a.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = {};
    return ::inet_ntop(AF_INET, &a, text, sizeof text) != nullptr ? std::string(text)
                                                                   : std::string();
}

std::string IPv4BytesToText(const std::uint8_t bytes[4]) {
    in_addr a{};
    std::memcpy(&a.s_addr, bytes, 4);
    return IPv4ToText(ntohl(a.s_addr));
}

std::string ErrnoText(int error) {
    return error < 0 ? std::string(::gai_strerror(error)) : std::string(std::strerror(error));
}

bool IsWouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

// ---------------------------------------------------------------------------------------
// Results

TSocketStatus TSocketStatus::FromErrno() {
    return TSocketStatus(errno != 0 ? errno : EIO);
}

bool TSocketStatus::InProgress() const {
    return FError == EINPROGRESS;
}

std::string TSocketStatus::ErrorText() const {
    return FError == 0 ? std::string() : ErrnoText(FError);
}

bool TSocketResult::TimedOut() const {
    return Error == ETIMEDOUT;
}

std::string TSocketResult::ErrorText() const {
    return Error == 0 ? std::string() : ErrnoText(Error);
}

// ---------------------------------------------------------------------------------------
// TSocketBase

TSocketBase::TSocketBase(TSocketBase&& other) noexcept
    : FHandle(std::exchange(other.FHandle, -1)) {}

TSocketBase& TSocketBase::operator=(TSocketBase&& other) noexcept {
    if (this != &other) {
        (void)Close();
        FHandle = std::exchange(other.FHandle, -1);
    }
    return *this;
}

TSocketBase::~TSocketBase() {
    (void)Close();
}

TSocketStatus TSocketBase::Open(int type) {
    (void)Close();
    FHandle = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    return FHandle >= 0 ? TSocketStatus() : TSocketStatus::FromErrno();
}

TSocketStatus TSocketBase::SetIntOption(int level, int name, int value) {
    return ::setsockopt(FHandle, level, name, &value, sizeof(value)) == 0
               ? TSocketStatus()
               : TSocketStatus::FromErrno();
}

TSocketStatus TSocketBase::SetNonBlocking(bool on) {
    const int flags = ::fcntl(FHandle, F_GETFL, 0);
    if (flags < 0) {
        return TSocketStatus::FromErrno();
    }
    const int wanted = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return ::fcntl(FHandle, F_SETFL, wanted) == 0 ? TSocketStatus() : TSocketStatus::FromErrno();
}

TWaitResult TSocketBase::Wait(short events, int timeoutMs) const {
    if (FHandle < 0) {
        return TWaitResult::Failed;
    }
    int error = 0;
    return WaitResultOf(PollOne(FHandle, events, timeoutMs < 0 ? -1 : TimeoutMs(timeoutMs), error));
}

TWaitResult TSocketBase::WaitReadable(int timeoutMs) const {
    return Wait(POLLIN, timeoutMs);
}

TWaitResult TSocketBase::WaitWritable(int timeoutMs) const {
    return Wait(POLLOUT, timeoutMs);
}

TWaitResult TSocketBase::WaitReadableUntil(TDeadline deadline) const {
    if (FHandle < 0) {
        return TWaitResult::Failed;
    }
    int error = 0;
    return WaitResultOf(PollOne(FHandle, POLLIN, MsUntil(deadline), error));
}

bool TSocketBase::ReadableNow() const {
    int error = 0;
    return FHandle >= 0 && PollOne(FHandle, POLLIN, 0, error) > 0;
}

int TSocketBase::PendingError() const {
    int error = 0;
    socklen_t len = sizeof(error);
    if (::getsockopt(FHandle, SOL_SOCKET, SO_ERROR, &error, &len) != 0) {
        return errno != 0 ? errno : EIO;
    }
    return error;
}

void TSocketBase::Shutdown() {
    if (FHandle >= 0) {
        // On an unconnected UDP socket Linux answers ENOTCONN but still wakes the waiters.
        ::shutdown(FHandle, SHUT_RDWR);
    }
}

void TSocketBase::ShutdownSend() {
    if (FHandle >= 0) {
        ::shutdown(FHandle, SHUT_WR);
    }
}

std::uint16_t TSocketBase::LocalPort() const {
    sockaddr_in sa{};
    socklen_t len = sizeof(sa);
    if (FHandle < 0 || ::getsockname(FHandle, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        return 0;
    }
    return ntohs(sa.sin_port);
}

TSocketStatus TSocketBase::Close() {
    if (FHandle < 0) {
        return {};
    }
    const int fd = std::exchange(FHandle, -1);
    // Linux releases the descriptor even when close reports EINTR: never retry.
    return ::close(fd) == 0 ? TSocketStatus() : TSocketStatus::FromErrno();
}

// ---------------------------------------------------------------------------------------
// TTcpSocket

TSocketStatus TTcpSocket::Create() {
    return Open(SOCK_STREAM);
}

TSocketStatus TTcpSocket::SetNoDelay(bool on) {
    return SetIntOption(IPPROTO_TCP, TCP_NODELAY, on ? 1 : 0);
}

TSocketStatus TTcpSocket::StartConnect(std::uint32_t address, std::uint16_t port) {
    const sockaddr_in sa = MakeAddress(address, port);
    if (::connect(FHandle, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) == 0) {
        return {};
    }
    // EINTR: the connect goes on in the background, like EINPROGRESS; never call connect
    // again on the same socket.
    if (errno == EINPROGRESS || errno == EINTR) {
        return TSocketStatus(EINPROGRESS);
    }
    return TSocketStatus::FromErrno();
}

int TTcpSocket::FailedConnectError() const {
    int error = 0;
    if (FHandle < 0 || PollOne(FHandle, POLLOUT, 0, error) <= 0) {
        return 0; // the handshake goes on (or there is nothing to look at)
    }
    return PendingError();
}

TSocketResult TTcpSocket::Send(const void* data, std::size_t length) {
    ssize_t n = 0;
    do {
        n = ::send(FHandle, data, length, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? TSocketResult::Failed(errno) : TSocketResult::Moved(static_cast<std::size_t>(n));
}

TSocketResult TTcpSocket::Receive(void* buffer, std::size_t length) {
    ssize_t n = 0;
    do {
        n = ::recv(FHandle, buffer, length, 0);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? TSocketResult::Failed(errno) : TSocketResult::Moved(static_cast<std::size_t>(n));
}

void TTcpSocket::Adopt(int handle) {
    (void)Close();
    FHandle = handle;
}

// ---------------------------------------------------------------------------------------
// TTcpListener

TSocketStatus TTcpListener::Listen(std::uint32_t address, std::uint16_t port, int backlog,
                                   bool reuseAddress) {
    TSocketStatus status = Open(SOCK_STREAM);
    if (!status) {
        return status;
    }
    const sockaddr_in sa = MakeAddress(address, port);
    status = SetIntOption(SOL_SOCKET, SO_REUSEADDR, reuseAddress ? 1 : 0);
    if (status && ::bind(FHandle, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) != 0) {
        status = TSocketStatus::FromErrno();
    }
    if (status && ::listen(FHandle, backlog) != 0) {
        status = TSocketStatus::FromErrno();
    }
    if (status) {
        status = SetNonBlocking(true);
    }
    if (!status) {
        (void)Close();
    }
    return status;
}

TSocketStatus TTcpListener::Accept(TTcpSocket& connection, std::uint32_t* fromAddress,
                                   std::uint16_t* fromPort) {
    sockaddr_in sa{};
    socklen_t len = sizeof(sa);
    int fd = -1;
    do {
        len = sizeof(sa);
        fd = ::accept4(FHandle, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return TSocketStatus::FromErrno();
    }
    connection.Adopt(fd);
    if (fromAddress != nullptr) {
        *fromAddress = ntohl(sa.sin_addr.s_addr);
    }
    if (fromPort != nullptr) {
        *fromPort = ntohs(sa.sin_port);
    }
    return {};
}

// ---------------------------------------------------------------------------------------
// TTcpStream

TSocketStatus TTcpStream::Connect(const std::string& host, std::uint16_t port,
                                  int connectTimeoutMs) {
    Close();
    std::uint32_t address = 0;
    if (ParseIPv4(host, address)) {
        return ConnectAddress(address, port, connectTimeoutMs);
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (rc != 0 || list == nullptr) {
        // Resolver errors are negative (EAI_...); EAI_SYSTEM says errno tells.
        const int error = rc == EAI_SYSTEM ? (errno != 0 ? errno : EIO) : (rc != 0 ? rc : EAI_NONAME);
        if (list != nullptr) {
            ::freeaddrinfo(list);
        }
        return TSocketStatus(error);
    }
    TSocketStatus status(EHOSTUNREACH);
    bool connected = false;
    for (const addrinfo* ai = list; ai != nullptr && !connected; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || ai->ai_addr == nullptr) {
            continue;
        }
        const auto* sa = reinterpret_cast<const sockaddr_in*>(ai->ai_addr);
        status = ConnectAddress(ntohl(sa->sin_addr.s_addr), port, connectTimeoutMs);
        connected = status.Ok();
    }
    ::freeaddrinfo(list);
    return status;
}

TSocketStatus TTcpStream::ConnectAddress(std::uint32_t address, std::uint16_t port,
                                         int connectTimeoutMs) {
    TSocketStatus status = FSocket.Create();
    if (status) {
        status = FSocket.SetNonBlocking(true);
    }
    if (status) {
        status = FSocket.StartConnect(address, port);
    }
    if (status.InProgress()) {
        status = WaitUntil(POLLOUT, connectTimeoutMs, nullptr);
        if (status) {
            status = TSocketStatus(FSocket.PendingError());
        }
    }
    if (!status) {
        (void)FSocket.Close();
        return status;
    }
    (void)FSocket.SetNoDelay(true);
    return status;
}

TSocketStatus TTcpStream::WaitUntil(short events, int timeoutMs, const TDeadline* deadline) const {
    int ms = timeoutMs < 0 ? -1 : TimeoutMs(timeoutMs);
    if (deadline != nullptr) {
        const int bounded = MsUntil(*deadline);
        ms = ms < 0 ? bounded : std::min(ms, bounded);
    }
    int error = 0;
    const int rc = PollOne(FSocket.FHandle, events, ms, error);
    if (rc == 0) {
        return TSocketStatus(ETIMEDOUT);
    }
    return rc < 0 ? TSocketStatus(error) : TSocketStatus();
}

TSocketResult TTcpStream::SendAll(const void* data, std::size_t length, int timeoutMs) {
    return SendAll(data, length, timeoutMs, TDeadline::max());
}

TSocketResult TTcpStream::SendAll(const void* data, std::size_t length, int timeoutMs,
                                  TDeadline deadline) {
    if (!FSocket.IsOpen()) {
        return TSocketResult::Failed(EBADF);
    }
    const TDeadline* bound = deadline == TDeadline::max() ? nullptr : &deadline;
    const auto* p = static_cast<const char*>(data);
    std::size_t sent = 0;
    while (sent < length) {
        const TSocketResult n = FSocket.Send(p + sent, length - sent);
        if (n.Ok() && n.Count > 0) {
            sent += n.Count;
            continue;
        }
        if (!n.Ok() && !n.WouldBlock()) {
            return {sent, n.Error};
        }
        const TSocketStatus ready = WaitUntil(POLLOUT, timeoutMs, bound);
        if (!ready) {
            return {sent, ready.Error()};
        }
    }
    return TSocketResult::Moved(sent);
}

TSocketResult TTcpStream::ReadSome(void* buffer, std::size_t length, int timeoutMs) {
    return ReadSome(buffer, length, timeoutMs, TDeadline::max());
}

TSocketResult TTcpStream::ReadSome(void* buffer, std::size_t length, int timeoutMs,
                                   TDeadline deadline) {
    if (!FSocket.IsOpen()) {
        return TSocketResult::Failed(EBADF);
    }
    const TDeadline* bound = deadline == TDeadline::max() ? nullptr : &deadline;
    for (;;) {
        const TSocketStatus ready = WaitUntil(POLLIN, timeoutMs, bound);
        if (!ready) {
            return TSocketResult::Failed(ready.Error());
        }
        const TSocketResult n = FSocket.Receive(buffer, length);
        if (n.Ok() || !n.WouldBlock()) {
            return n;
        }
        // Readable but nothing to read (a spurious wake-up): wait again.
    }
}

void TTcpStream::Close() {
    (void)FSocket.Close();
}

// ---------------------------------------------------------------------------------------
// TUdpSocket

TSocketStatus TUdpSocket::Create() {
    return Open(SOCK_DGRAM);
}

TSocketStatus TUdpSocket::SetReuseAddress(bool on) {
    return SetIntOption(SOL_SOCKET, SO_REUSEADDR, on ? 1 : 0);
}

TSocketStatus TUdpSocket::SetBroadcast(bool on) {
    return SetIntOption(SOL_SOCKET, SO_BROADCAST, on ? 1 : 0);
}

bool TUdpSocket::Broadcast() const {
    int value = 0;
    socklen_t len = sizeof(value);
    return ::getsockopt(FHandle, SOL_SOCKET, SO_BROADCAST, &value, &len) == 0 && value != 0;
}

TSocketStatus TUdpSocket::SetReceiveInterface(bool on) {
    return SetIntOption(IPPROTO_IP, IP_PKTINFO, on ? 1 : 0);
}

TSocketStatus TUdpSocket::Bind(std::uint32_t address, std::uint16_t port) {
    const sockaddr_in sa = MakeAddress(address, port);
    return ::bind(FHandle, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) == 0
               ? TSocketStatus()
               : TSocketStatus::FromErrno();
}

TSocketResult TUdpSocket::SendTo(const void* data, std::size_t length, std::uint32_t address,
                                 std::uint16_t port) const {
    const sockaddr_in sa = MakeAddress(address, port);
    ssize_t n = 0;
    do {
        n = ::sendto(FHandle, data, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sa),
                     sizeof(sa));
    } while (n < 0 && errno == EINTR);
    return n < 0 ? TSocketResult::Failed(errno) : TSocketResult::Moved(static_cast<std::size_t>(n));
}

int TUdpSocket::SendToTargets(const void* data, std::size_t length, std::uint16_t port,
                              const std::vector<TBroadcastTarget>& targets) const {
    return FHandle < 0 ? 0 : platform::SendToTargets(FHandle, data, length, port, targets);
}

TReceivedDatagram TUdpSocket::ReceiveFrom(void* buffer, std::size_t length) const {
    TReceivedDatagram result;
    sockaddr_in sa{};
    iovec part{};
    part.iov_base = buffer;
    part.iov_len = length;
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo)) + 64] = {};
    msghdr message{};
    ssize_t n = 0;
    do {
        message = DatagramMessage(sa, part, control, sizeof(control));
        // MSG_TRUNC: the result is the datagram's real length even when it was cut.
        n = ::recvmsg(FHandle, &message, MSG_TRUNC);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        result.Error = errno;
        return result;
    }
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO &&
            c->cmsg_len >= CMSG_LEN(sizeof(in_pktinfo))) {
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(c), sizeof(info));
            result.InterfaceIndex = static_cast<unsigned>(info.ipi_ifindex);
        }
    }
    result.Count = static_cast<std::size_t>(n);
    result.From = ntohl(sa.sin_addr.s_addr);
    result.FromPort = ntohs(sa.sin_port);
    return result;
}

} // namespace torvane::platform
