#pragma once
// BSD-socket classes (IPv4 only): the stand-in for Windows Sockets. Each class owns one
// socket descriptor (move-only, closed by its destructor). Every wait is a poll() whose
// deadline is the nominal time-out passed through TimeoutMs of the sleeper, so tests can
// shorten it; a negative time-out waits without limit. Operations keep the errno of their
// last failure (LastError) and its text (LastErrorText, e.g. "Connection refused").
//
// Addresses are 32-bit numbers in host byte order (127.0.0.1 is 0x7F000001); ports are in
// host byte order. No SIGPIPE is ever raised: sends use MSG_NOSIGNAL.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace torvane::platform {

constexpr std::uint32_t IPv4Any = 0x00000000;       // 0.0.0.0
constexpr std::uint32_t IPv4Loopback = 0x7F000001;  // 127.0.0.1
constexpr std::uint32_t IPv4Broadcast = 0xFFFFFFFF; // 255.255.255.255

// Strict dotted decimal: exactly four parts of 1 to 3 digits, each 0..255, no leading
// zeros (as inet_pton: "010" is refused rather than read as octal), no blanks or other
// characters. "255.255.255.255" is accepted (it is the broadcast address); callers that
// must refuse it, like the CTP client, check for IPv4Broadcast themselves.
[[nodiscard]] bool ParseIPv4(std::string_view text, std::uint32_t& out);
// "a.b.c.d" of an address in host byte order.
[[nodiscard]] std::string IPv4ToText(std::uint32_t address);
// "a.b.c.d" of four bytes in memory order (as in a datagram or a sockaddr).
[[nodiscard]] std::string IPv4BytesToText(const std::uint8_t bytes[4]);

// strerror text of an errno value.
[[nodiscard]] std::string ErrnoText(int error);
// True for the "no data yet / would block" errno values (EAGAIN, EWOULDBLOCK).
[[nodiscard]] bool IsWouldBlock(int error);

enum class TWaitResult {
    Ready,    // the socket is readable (or writable); also when an error or hang-up is pending
    TimedOut, // the deadline passed
    Failed,   // poll itself failed or there is no socket (LastError says why)
};

// What the classes have in common: the descriptor, its error state, waits, close.
class TSocketBase {
public:
    TSocketBase(const TSocketBase&) = delete;
    TSocketBase& operator=(const TSocketBase&) = delete;

    [[nodiscard]] bool IsOpen() const { return FHandle >= 0; }
    [[nodiscard]] int Handle() const { return FHandle; }
    // errno of the last failed operation (0 when none failed yet).
    [[nodiscard]] int LastError() const { return FLastError; }
    [[nodiscard]] std::string LastErrorText() const;
    // The last failure was "would block" (a non-blocking call had nothing to do).
    [[nodiscard]] bool LastWouldBlock() const { return IsWouldBlock(FLastError); }

    [[nodiscard]] bool SetNonBlocking(bool on = true);
    // Waits up to TimeoutMs(timeoutMs) for data (or a close, or an error) to be pending.
    [[nodiscard]] TWaitResult WaitReadable(int timeoutMs);
    // Waits up to TimeoutMs(timeoutMs) until a send can proceed (or an error is pending).
    [[nodiscard]] TWaitResult WaitWritable(int timeoutMs);
    // The socket's pending error (SO_ERROR), e.g. the outcome of a non-blocking connect;
    // reading it clears it. 0 when there is none.
    [[nodiscard]] int PendingError();
    // Wakes every thread waiting on this socket (shutdown of both directions); the waits
    // return Ready and reads return 0 or fail. Safe to call from another thread while one
    // waits; Close afterwards, once the waiting thread has left.
    void Shutdown();
    // The local port the socket is bound to (0 when unknown).
    [[nodiscard]] std::uint16_t LocalPort() const;
    // Closes the socket. True when there was none or it closed without error.
    [[nodiscard]] bool Close();

protected:
    TSocketBase() = default;
    TSocketBase(TSocketBase&& other) noexcept;
    TSocketBase& operator=(TSocketBase&& other) noexcept;
    ~TSocketBase();

    bool Open(int type);
    bool Fail(); // keeps errno as the last error; returns false
    TWaitResult Wait(short events, int timeoutMs);

    int FHandle = -1;
    int FLastError = 0;
};

// A TCP client socket, the CTP client's view: create, switch to non-blocking, start a
// connect, wait, one send call, one receive call.
class TTcpSocket : public TSocketBase {
public:
    enum class TConnectStart {
        Connected,  // connected at once
        InProgress, // the handshake goes on (non-blocking socket); wait writable, then
                    // PendingError tells the outcome
        Failed,     // failed at once (LastError says why)
    };

    TTcpSocket() = default;
    TTcpSocket(TTcpSocket&&) noexcept = default;
    TTcpSocket& operator=(TTcpSocket&&) noexcept = default;
    ~TTcpSocket() = default;

    // Creates a new stream socket, closing any previous one. False when none can be had.
    [[nodiscard]] bool Create();
    // TCP_NODELAY (no send coalescing).
    [[nodiscard]] bool SetNoDelay(bool on = true);
    [[nodiscard]] TConnectStart StartConnect(std::uint32_t address, std::uint16_t port);
    // One send call: the number of bytes taken (possibly fewer than length), or -1 with
    // the errno kept (LastWouldBlock when a non-blocking socket's buffer is full).
    [[nodiscard]] long Send(const void* data, std::size_t length);
    // One receive call of at most length bytes: the number read; 0 when the peer closed
    // the connection; -1 on failure, LastWouldBlock telling "no data yet" from an error.
    [[nodiscard]] long Receive(void* buffer, std::size_t length);

private:
    friend class TTcpListener;
    void Adopt(int handle);
};

// A listening TCP socket (the loopback test peers and the camera simulator). The listener
// is non-blocking: wait readable, then Accept.
class TTcpListener : public TSocketBase {
public:
    TTcpListener() = default;
    TTcpListener(TTcpListener&&) noexcept = default;
    TTcpListener& operator=(TTcpListener&&) noexcept = default;
    ~TTcpListener() = default;

    // Creates, binds (port 0: one the system picks, see LocalPort) and listens.
    // SO_REUSEADDR lets a restarted server take its port while old connections linger.
    [[nodiscard]] bool Listen(std::uint32_t address, std::uint16_t port, int backlog = 16,
                              bool reuseAddress = true);
    // Takes one pending connection into connection (a blocking socket; the caller may switch
    // it). False when none is pending (LastWouldBlock) or on failure.
    [[nodiscard]] bool Accept(TTcpSocket& connection, std::uint32_t* fromAddress = nullptr,
                              std::uint16_t* fromPort = nullptr);
};

// A blocking-style TCP connection for one HTTP/1.0 exchange (the firmware upload). The
// socket is non-blocking underneath and every step is bounded by its own time-out. On
// failure ErrorText says why ("Connection refused", "Connection timed out", the resolver's
// text for an unknown host, "Connection reset by peer", ...).
class TTcpStream {
public:
    TTcpStream() = default;
    TTcpStream(TTcpStream&&) noexcept = default;
    TTcpStream& operator=(TTcpStream&&) noexcept = default;

    // Resolves host (a name or dotted IPv4; getaddrinfo, IPv4 only) and connects to the
    // first address that answers within TimeoutMs(connectTimeoutMs) each.
    [[nodiscard]] bool Connect(const std::string& host, std::uint16_t port, int connectTimeoutMs);
    // Sends all bytes; each wait for the socket to take more is bounded by
    // TimeoutMs(timeoutMs) (a peer that stops reading fails the send, it never hangs).
    [[nodiscard]] bool SendAll(const void* data, std::size_t length, int timeoutMs);
    [[nodiscard]] bool SendAll(std::string_view data, int timeoutMs) {
        return SendAll(data.data(), data.size(), timeoutMs);
    }
    // Waits up to TimeoutMs(timeoutMs) for data and reads once, at most length bytes: the
    // number read (> 0); 0 when the peer closed the connection; -1 on a time-out or an error
    // (ErrorText tells which).
    [[nodiscard]] long ReadSome(void* buffer, std::size_t length, int timeoutMs);

    // The same, never waiting past deadline (real time, already shortened by the caller
    // through TimeoutMs): a peer that sends or takes a byte now and then keeps the idle
    // time-out from firing, the deadline still ends the exchange (TimedOut).
    using TDeadline = std::chrono::steady_clock::time_point;
    [[nodiscard]] bool SendAll(const void* data, std::size_t length, int timeoutMs,
                               TDeadline deadline);
    [[nodiscard]] long ReadSome(void* buffer, std::size_t length, int timeoutMs,
                                TDeadline deadline);
    void Close();

    [[nodiscard]] bool IsOpen() const { return FSocket.IsOpen(); }
    [[nodiscard]] const std::string& ErrorText() const { return FErrorText; }
    [[nodiscard]] bool TimedOut() const { return FTimedOut; }

private:
    bool ConnectAddress(std::uint32_t address, std::uint16_t port, int connectTimeoutMs);
    // Waits for events up to TimeoutMs(timeoutMs), and never past deadline when one is
    // given; sets FTimedOut and FErrorText when the wait does not end Ready.
    TWaitResult WaitUntil(short events, int timeoutMs, const TDeadline* deadline);

    TTcpSocket FSocket;
    std::string FErrorText;
    bool FTimedOut = false;
};

// A UDP socket: the discovery listeners, the CTP and T-series searches, the test peers.
class TUdpSocket : public TSocketBase {
public:
    TUdpSocket() = default;
    TUdpSocket(TUdpSocket&&) noexcept = default;
    TUdpSocket& operator=(TUdpSocket&&) noexcept = default;
    ~TUdpSocket() = default;

    // Creates a new datagram socket, closing any previous one.
    [[nodiscard]] bool Create();
    // SO_REUSEADDR; set it before Bind, and only when asked for (without it a second bind
    // of a taken port fails, which is how free ports are found).
    [[nodiscard]] bool SetReuseAddress(bool on);
    [[nodiscard]] bool SetBroadcast(bool on);
    [[nodiscard]] bool Broadcast() const;
    // IP_PKTINFO: each received datagram tells on which interface it arrived (see the
    // ReceiveFrom with an interface index).
    [[nodiscard]] bool SetReceiveInterface(bool on);
    // Binds to address:port (IPv4Any for all local addresses; port 0 for one the system
    // picks, see LocalPort).
    [[nodiscard]] bool Bind(std::uint32_t address, std::uint16_t port);
    // One datagram: the number of bytes sent, or -1 with the errno kept.
    [[nodiscard]] long SendTo(const void* data, std::size_t length, std::uint32_t address,
                              std::uint16_t port);
    // Receives one datagram into buffer (at most length bytes are stored) with its sender.
    // Returns the datagram's real length (MSG_TRUNC), which exceeds length when the
    // datagram did not fit and was cut: callers discard such datagrams. -1 on failure
    // (LastWouldBlock when a non-blocking socket had none). A socket shut down returns 0.
    [[nodiscard]] long ReceiveFrom(void* buffer, std::size_t length, std::uint32_t& fromAddress,
                                   std::uint16_t& fromPort);
    // The same, with the index of the interface on which the datagram arrived (0 when the
    // socket does not report it: SetReceiveInterface was not switched on).
    [[nodiscard]] long ReceiveFrom(void* buffer, std::size_t length, std::uint32_t& fromAddress,
                                   std::uint16_t& fromPort, unsigned& interfaceIndex);
};

} // namespace torvane::platform
