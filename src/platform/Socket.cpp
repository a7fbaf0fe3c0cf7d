#include "platform/Socket.h"

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
// signals with the time that is left.
int PollOne(int fd, short events, int ms) {
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
        if (rc >= 0 || errno != EINTR) {
            return rc;
        }
    }
}

} // namespace

// ---------------------------------------------------------------------------------------
// Addresses

bool ParseIPv4(std::string_view text, std::uint32_t& out) {
    std::uint32_t address = 0;
    std::size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.') {
                return false;
            }
            ++pos;
        }
        const std::size_t start = pos;
        unsigned value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3) {
            value = value * 10 + static_cast<unsigned>(text[pos] - '0');
            ++pos;
        }
        const std::size_t digits = pos - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) {
            return false;
        }
        address = (address << 8) | value;
    }
    if (pos != text.size()) {
        return false; // a fourth digit, a fifth part or anything else after the address
    }
    out = address;
    return true;
}

std::string IPv4ToText(std::uint32_t address) {
    const std::uint8_t bytes[4] = {
        static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16),
        static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
    return IPv4BytesToText(bytes);
}

std::string IPv4BytesToText(const std::uint8_t bytes[4]) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            text += '.';
        }
        text += std::to_string(static_cast<unsigned>(bytes[i]));
    }
    return text;
}

std::string ErrnoText(int error) {
    return std::strerror(error);
}

bool IsWouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

// ---------------------------------------------------------------------------------------
// TSocketBase

TSocketBase::TSocketBase(TSocketBase&& other) noexcept
    : FHandle(std::exchange(other.FHandle, -1)), FLastError(other.FLastError) {}

TSocketBase& TSocketBase::operator=(TSocketBase&& other) noexcept {
    if (this != &other) {
        (void)Close();
        FHandle = std::exchange(other.FHandle, -1);
        FLastError = other.FLastError;
    }
    return *this;
}

TSocketBase::~TSocketBase() {
    (void)Close();
}

std::string TSocketBase::LastErrorText() const {
    return FLastError == 0 ? std::string() : ErrnoText(FLastError);
}

bool TSocketBase::Open(int type) {
    (void)Close();
    FHandle = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    return FHandle >= 0 || Fail();
}

bool TSocketBase::Fail() {
    FLastError = errno;
    return false;
}

bool TSocketBase::SetNonBlocking(bool on) {
    const int flags = ::fcntl(FHandle, F_GETFL, 0);
    if (flags < 0) {
        return Fail();
    }
    const int wanted = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return ::fcntl(FHandle, F_SETFL, wanted) == 0 || Fail();
}

TWaitResult TSocketBase::Wait(short events, int timeoutMs) {
    if (FHandle < 0) {
        FLastError = EBADF;
        return TWaitResult::Failed;
    }
    const int ms = timeoutMs < 0 ? -1 : TimeoutMs(timeoutMs);
    const int rc = PollOne(FHandle, events, ms);
    if (rc < 0) {
        Fail();
        return TWaitResult::Failed;
    }
    return rc == 0 ? TWaitResult::TimedOut : TWaitResult::Ready;
}

TWaitResult TSocketBase::WaitReadable(int timeoutMs) {
    return Wait(POLLIN, timeoutMs);
}

TWaitResult TSocketBase::WaitWritable(int timeoutMs) {
    return Wait(POLLOUT, timeoutMs);
}

int TSocketBase::PendingError() {
    int error = 0;
    socklen_t len = sizeof(error);
    if (::getsockopt(FHandle, SOL_SOCKET, SO_ERROR, &error, &len) != 0) {
        Fail();
        return FLastError;
    }
    if (error != 0) {
        FLastError = error;
    }
    return error;
}

void TSocketBase::Shutdown() {
    if (FHandle >= 0) {
        // On an unconnected UDP socket Linux answers ENOTCONN but still wakes the waiters.
        ::shutdown(FHandle, SHUT_RDWR);
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

bool TSocketBase::Close() {
    if (FHandle < 0) {
        return true;
    }
    const int fd = std::exchange(FHandle, -1);
    // Linux releases the descriptor even when close reports EINTR: never retry.
    return ::close(fd) == 0 || Fail();
}

// ---------------------------------------------------------------------------------------
// TTcpSocket

bool TTcpSocket::Create() {
    return Open(SOCK_STREAM);
}

bool TTcpSocket::SetNoDelay(bool on) {
    const int value = on ? 1 : 0;
    return ::setsockopt(FHandle, IPPROTO_TCP, TCP_NODELAY, &value, sizeof(value)) == 0 || Fail();
}

TTcpSocket::TConnectStart TTcpSocket::StartConnect(std::uint32_t address, std::uint16_t port) {
    const sockaddr_in sa = MakeAddress(address, port);
    if (::connect(FHandle, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) == 0) {
        return TConnectStart::Connected;
    }
    // EINTR: the connect goes on in the background, like EINPROGRESS; never call connect
    // again on the same socket.
    if (errno == EINPROGRESS || errno == EINTR) {
        FLastError = errno;
        return TConnectStart::InProgress;
    }
    Fail();
    return TConnectStart::Failed;
}

long TTcpSocket::Send(const void* data, std::size_t length) {
    ssize_t n = 0;
    do {
        n = ::send(FHandle, data, length, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        Fail();
    }
    return static_cast<long>(n);
}

long TTcpSocket::Receive(void* buffer, std::size_t length) {
    ssize_t n = 0;
    do {
        n = ::recv(FHandle, buffer, length, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        Fail();
    }
    return static_cast<long>(n);
}

void TTcpSocket::Adopt(int handle) {
    (void)Close();
    FHandle = handle;
    FLastError = 0;
}

// ---------------------------------------------------------------------------------------
// TTcpListener

bool TTcpListener::Listen(std::uint32_t address, std::uint16_t port, int backlog,
                          bool reuseAddress) {
    if (!Open(SOCK_STREAM)) {
        return false;
    }
    const int value = reuseAddress ? 1 : 0;
    const sockaddr_in sa = MakeAddress(address, port);
    if (::setsockopt(FHandle, SOL_SOCKET, SO_REUSEADDR, &value, sizeof(value)) != 0 ||
        ::bind(FHandle, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) != 0 ||
        ::listen(FHandle, backlog) != 0 || !SetNonBlocking(true)) {
        Fail();
        const int error = FLastError;
        (void)Close();
        FLastError = error;
        return false;
    }
    return true;
}

bool TTcpListener::Accept(TTcpSocket& connection, std::uint32_t* fromAddress,
                          std::uint16_t* fromPort) {
    sockaddr_in sa{};
    socklen_t len = sizeof(sa);
    int fd = -1;
    do {
        len = sizeof(sa);
        fd = ::accept4(FHandle, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return Fail();
    }
    connection.Adopt(fd);
    if (fromAddress != nullptr) {
        *fromAddress = ntohl(sa.sin_addr.s_addr);
    }
    if (fromPort != nullptr) {
        *fromPort = ntohs(sa.sin_port);
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// TTcpStream

bool TTcpStream::Connect(const std::string& host, std::uint16_t port, int connectTimeoutMs) {
    FErrorText.clear();
    FTimedOut = false;
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
        FErrorText = (rc == EAI_SYSTEM) ? ErrnoText(errno) : ::gai_strerror(rc);
        if (list != nullptr) {
            ::freeaddrinfo(list);
        }
        return false;
    }
    bool connected = false;
    for (const addrinfo* ai = list; ai != nullptr && !connected; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || ai->ai_addr == nullptr) {
            continue;
        }
        const auto* sa = reinterpret_cast<const sockaddr_in*>(ai->ai_addr);
        connected = ConnectAddress(ntohl(sa->sin_addr.s_addr), port, connectTimeoutMs);
    }
    ::freeaddrinfo(list);
    return connected;
}

bool TTcpStream::ConnectAddress(std::uint32_t address, std::uint16_t port, int connectTimeoutMs) {
    FTimedOut = false;
    if (!FSocket.Create() || !FSocket.SetNonBlocking(true)) {
        FErrorText = FSocket.LastErrorText();
        (void)FSocket.Close();
        return false;
    }
    const auto start = FSocket.StartConnect(address, port);
    if (start == TTcpSocket::TConnectStart::Failed) {
        FErrorText = FSocket.LastErrorText();
        (void)FSocket.Close();
        return false;
    }
    if (start == TTcpSocket::TConnectStart::InProgress) {
        const TWaitResult w = FSocket.WaitWritable(connectTimeoutMs);
        int error = 0;
        if (w == TWaitResult::Ready) {
            error = FSocket.PendingError();
        } else if (w == TWaitResult::TimedOut) {
            error = ETIMEDOUT;
            FTimedOut = true;
        } else {
            error = FSocket.LastError();
        }
        if (error != 0) {
            FErrorText = ErrnoText(error);
            (void)FSocket.Close();
            return false;
        }
    }
    (void)FSocket.SetNoDelay(true);
    return true;
}

TWaitResult TTcpStream::WaitUntil(short events, int timeoutMs, const TDeadline* deadline) {
    int ms = timeoutMs < 0 ? -1 : TimeoutMs(timeoutMs);
    if (deadline != nullptr) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              *deadline - std::chrono::steady_clock::now())
                              .count();
        const int bounded = left > 0 ? static_cast<int>(std::min<long long>(left, 0x7FFFFFFF)) : 0;
        ms = ms < 0 ? bounded : std::min(ms, bounded);
    }
    const int rc = PollOne(FSocket.Handle(), events, ms);
    if (rc == 0) {
        FTimedOut = true;
        FErrorText = ErrnoText(ETIMEDOUT);
        return TWaitResult::TimedOut;
    }
    if (rc < 0) {
        FErrorText = ErrnoText(errno);
        return TWaitResult::Failed;
    }
    return TWaitResult::Ready;
}

bool TTcpStream::SendAll(const void* data, std::size_t length, int timeoutMs) {
    return SendAll(data, length, timeoutMs, TDeadline::max());
}

bool TTcpStream::SendAll(const void* data, std::size_t length, int timeoutMs,
                         TDeadline deadline) {
    FTimedOut = false;
    if (!FSocket.IsOpen()) {
        FErrorText = ErrnoText(EBADF);
        return false;
    }
    const TDeadline* bound = deadline == TDeadline::max() ? nullptr : &deadline;
    const auto* p = static_cast<const char*>(data);
    std::size_t sent = 0;
    while (sent < length) {
        const long n = FSocket.Send(p + sent, length - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && !FSocket.LastWouldBlock()) {
            FErrorText = FSocket.LastErrorText();
            return false;
        }
        if (WaitUntil(POLLOUT, timeoutMs, bound) != TWaitResult::Ready) {
            return false;
        }
    }
    return true;
}

long TTcpStream::ReadSome(void* buffer, std::size_t length, int timeoutMs) {
    return ReadSome(buffer, length, timeoutMs, TDeadline::max());
}

long TTcpStream::ReadSome(void* buffer, std::size_t length, int timeoutMs, TDeadline deadline) {
    FTimedOut = false;
    if (!FSocket.IsOpen()) {
        FErrorText = ErrnoText(EBADF);
        return -1;
    }
    const TDeadline* bound = deadline == TDeadline::max() ? nullptr : &deadline;
    for (;;) {
        if (WaitUntil(POLLIN, timeoutMs, bound) != TWaitResult::Ready) {
            return -1;
        }
        const long n = FSocket.Receive(buffer, length);
        if (n >= 0) {
            return n;
        }
        if (!FSocket.LastWouldBlock()) {
            FErrorText = FSocket.LastErrorText();
            return -1;
        }
        // Readable but nothing to read (a spurious wake-up): wait again.
    }
}

void TTcpStream::Close() {
    (void)FSocket.Close();
}

// ---------------------------------------------------------------------------------------
// TUdpSocket

bool TUdpSocket::Create() {
    return Open(SOCK_DGRAM);
}

bool TUdpSocket::SetReuseAddress(bool on) {
    const int value = on ? 1 : 0;
    return ::setsockopt(FHandle, SOL_SOCKET, SO_REUSEADDR, &value, sizeof(value)) == 0 || Fail();
}

bool TUdpSocket::SetBroadcast(bool on) {
    const int value = on ? 1 : 0;
    return ::setsockopt(FHandle, SOL_SOCKET, SO_BROADCAST, &value, sizeof(value)) == 0 || Fail();
}

bool TUdpSocket::Broadcast() const {
    int value = 0;
    socklen_t len = sizeof(value);
    return ::getsockopt(FHandle, SOL_SOCKET, SO_BROADCAST, &value, &len) == 0 && value != 0;
}

bool TUdpSocket::SetReceiveInterface(bool on) {
    const int value = on ? 1 : 0;
    return ::setsockopt(FHandle, IPPROTO_IP, IP_PKTINFO, &value, sizeof(value)) == 0 || Fail();
}

bool TUdpSocket::Bind(std::uint32_t address, std::uint16_t port) {
    const sockaddr_in sa = MakeAddress(address, port);
    return ::bind(FHandle, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) == 0 || Fail();
}

long TUdpSocket::SendTo(const void* data, std::size_t length, std::uint32_t address,
                        std::uint16_t port) {
    const sockaddr_in sa = MakeAddress(address, port);
    ssize_t n = 0;
    do {
        n = ::sendto(FHandle, data, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sa),
                     sizeof(sa));
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        Fail();
    }
    return static_cast<long>(n);
}

long TUdpSocket::ReceiveFrom(void* buffer, std::size_t length, std::uint32_t& fromAddress,
                             std::uint16_t& fromPort) {
    unsigned interfaceIndex = 0;
    return ReceiveFrom(buffer, length, fromAddress, fromPort, interfaceIndex);
}

long TUdpSocket::ReceiveFrom(void* buffer, std::size_t length, std::uint32_t& fromAddress,
                             std::uint16_t& fromPort, unsigned& interfaceIndex) {
    sockaddr_in sa{};
    iovec part{};
    part.iov_base = buffer;
    part.iov_len = length;
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo)) + 64] = {};
    msghdr message{};
    ssize_t n = 0;
    do {
        message = msghdr{};
        message.msg_name = &sa;
        message.msg_namelen = sizeof(sa);
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof(control);
        // MSG_TRUNC: the result is the datagram's real length even when it was cut.
        n = ::recvmsg(FHandle, &message, MSG_TRUNC);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        Fail();
        return -1;
    }
    interfaceIndex = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO &&
            c->cmsg_len >= CMSG_LEN(sizeof(in_pktinfo))) {
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(c), sizeof(info));
            interfaceIndex = static_cast<unsigned>(info.ipi_ifindex);
        }
    }
    fromAddress = ntohl(sa.sin_addr.s_addr);
    fromPort = ntohs(sa.sin_port);
    return static_cast<long>(n);
}

} // namespace torvane::platform
