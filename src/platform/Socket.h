#pragma once
// BSD-socket classes (IPv4 only): the stand-in for Windows Sockets. Each class owns one
// socket descriptor (move-only, closed by its destructor). Every wait is a poll() whose
// deadline is the nominal time-out passed through TimeoutMs of the sleeper, so tests can
// shorten it; a negative time-out waits without limit.
//
// Errors travel with results: every operation returns what the system said (a
// TSocketStatus, a TSocketResult with the byte count, a TReceivedDatagram with the sender),
// and a socket object keeps no error state of its own. So two threads may use one socket
// (a listener's receive thread and the main thread's sends) without one reading the
// other's error.
//
// Addresses are 32-bit numbers in host byte order (127.0.0.1 is 0x7F000001); ports are in
// host byte order. No SIGPIPE is ever raised: sends use MSG_NOSIGNAL.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace torvane::platform {

struct TBroadcastTarget;

constexpr std::uint32_t IPv4Any = 0x00000000;       // 0.0.0.0
constexpr std::uint32_t IPv4Loopback = 0x7F000001;  // 127.0.0.1
constexpr std::uint32_t IPv4Broadcast = 0xFFFFFFFF; // 255.255.255.255

// Strict dotted decimal (inet_pton): exactly four parts of 1 to 3 digits, each 0..255, no
// leading zeros ("010" is refused rather than read as octal), no blanks or other
// characters. "255.255.255.255" is accepted (it is the broadcast address); callers that
// must refuse it, like the CTP client, check for IPv4Broadcast themselves. A refused text
// leaves out alone.
[[nodiscard]] bool ParseIPv4(std::string_view text, std::uint32_t& out);
// "a.b.c.d" of an address in host byte order (inet_ntop).
[[nodiscard]] std::string IPv4ToText(std::uint32_t address);
// "a.b.c.d" of four bytes in memory order (as in a datagram or a sockaddr).
[[nodiscard]] std::string IPv4BytesToText(const std::uint8_t bytes[4]);

// strerror text of an errno value; a negative value is a resolver (getaddrinfo) error and
// gives the resolver's text.
[[nodiscard]] std::string ErrnoText(int error);
// True for the "no data yet / would block" errno values (EAGAIN, EWOULDBLOCK).
[[nodiscard]] bool IsWouldBlock(int error);

// Real-time deadlines of the waits that span several calls.
using TDeadline = std::chrono::steady_clock::time_point;

// The outcome of an operation that moves no bytes: done, or the errno it failed with.
class [[nodiscard]] TSocketStatus {
public:
    TSocketStatus() = default;
    explicit TSocketStatus(int error) : FError(error) {}
    // The errno of the call that just failed.
    [[nodiscard]] static TSocketStatus FromErrno();

    [[nodiscard]] bool Ok() const { return FError == 0; }
    explicit operator bool() const { return Ok(); }
    [[nodiscard]] int Error() const { return FError; }
    // A non-blocking call had nothing to do (EAGAIN).
    [[nodiscard]] bool WouldBlock() const { return IsWouldBlock(FError); }
    // A non-blocking connect goes on in the background (EINPROGRESS).
    [[nodiscard]] bool InProgress() const;
    // Empty when done.
    [[nodiscard]] std::string ErrorText() const;

private:
    int FError = 0;
};

// The outcome of a send or a receive: the number of bytes moved, or the errno. A receive
// that moved 0 bytes without an error means the peer closed the connection.
struct [[nodiscard]] TSocketResult {
    std::size_t Count = 0;
    int Error = 0;

    [[nodiscard]] bool Ok() const { return Error == 0; }
    [[nodiscard]] bool WouldBlock() const { return IsWouldBlock(Error); }
    // A wait of ours ran out (or the kernel gave up on the connection): ETIMEDOUT.
    [[nodiscard]] bool TimedOut() const;
    [[nodiscard]] std::string ErrorText() const;
    [[nodiscard]] static TSocketResult Moved(std::size_t count) { return {count, 0}; }
    [[nodiscard]] static TSocketResult Failed(int error) { return {0, error}; }
};

// One datagram received: Count is its real length (MSG_TRUNC), which exceeds the buffer
// when the datagram did not fit and was cut (callers discard such datagrams).
struct [[nodiscard]] TReceivedDatagram : TSocketResult {
    std::uint32_t From = 0;       // sender, host byte order
    std::uint16_t FromPort = 0;
    unsigned InterfaceIndex = 0;  // arriving interface; 0 unless SetReceiveInterface is on
};

enum class TWaitResult {
    Ready,    // the socket is readable (or writable); also when an error or hang-up is pending
    TimedOut, // the deadline passed
    Failed,   // there is no socket, or poll itself failed (out of memory)
};

// What the classes have in common: the descriptor, waits, options, close. The classes
// below take their moves from here (a moved-from socket holds none) and cannot be copied.
class TSocketBase {
public:
    TSocketBase(const TSocketBase&) = delete;
    TSocketBase& operator=(const TSocketBase&) = delete;

    [[nodiscard]] bool IsOpen() const { return FHandle >= 0; }

    [[nodiscard]] TSocketStatus SetNonBlocking(bool on = true);
    // Waits up to TimeoutMs(timeoutMs) for data (or a close, or an error) to be pending.
    [[nodiscard]] TWaitResult WaitReadable(int timeoutMs) const;
    // Waits up to TimeoutMs(timeoutMs) until a send can proceed (or an error is pending).
    [[nodiscard]] TWaitResult WaitWritable(int timeoutMs) const;
    // Waits until data is pending or deadline (real time, already shortened by the caller)
    // has passed; a deadline in the past looks once without waiting.
    [[nodiscard]] TWaitResult WaitReadableUntil(TDeadline deadline) const;
    // Data (or a close, or an error) is pending right now.
    [[nodiscard]] bool ReadableNow() const;
    // The socket's pending error (SO_ERROR), e.g. the outcome of a non-blocking connect;
    // reading it clears it. 0 when there is none.
    [[nodiscard]] int PendingError() const;
    // Wakes every thread waiting on this socket (shutdown of both directions); the waits
    // return Ready and reads return 0 or fail. Safe to call from another thread while one
    // waits; Close afterwards, once the waiting thread has left.
    void Shutdown();
    // Ends the sending direction only: the peer reads the end of the stream.
    void ShutdownSend();
    // The local port the socket is bound to (0 when unknown).
    [[nodiscard]] std::uint16_t LocalPort() const;
    // Closes the socket. Done when there was none or it closed without error.
    TSocketStatus Close();

protected:
    friend class TTcpStream; // waits on its socket with deadlines of its own
    TSocketBase() = default;
    TSocketBase(TSocketBase&& other) noexcept;
    TSocketBase& operator=(TSocketBase&& other) noexcept;
    ~TSocketBase();

    TSocketStatus Open(int type);
    TSocketStatus SetIntOption(int level, int name, int value);
    [[nodiscard]] TWaitResult Wait(short events, int timeoutMs) const;

    int FHandle = -1;
};

// A TCP client socket, the CTP client's view: create, switch to non-blocking, start a
// connect, wait, one send call, one receive call.
class TTcpSocket : public TSocketBase {
public:
    // Creates a new stream socket, closing any previous one.
    [[nodiscard]] TSocketStatus Create();
    // TCP_NODELAY (no send coalescing).
    [[nodiscard]] TSocketStatus SetNoDelay(bool on = true);
    // Done when connected at once; InProgress() when the handshake goes on (non-blocking
    // socket: wait writable, then PendingError tells the outcome); otherwise failed at once.
    [[nodiscard]] TSocketStatus StartConnect(std::uint32_t address, std::uint16_t port);
    // The errno of a connection attempt that has already failed (refused, unreachable); 0
    // while the handshake goes on and once it succeeded. Does not wait.
    [[nodiscard]] int FailedConnectError() const;
    // One send call: the number of bytes taken (possibly fewer than length), or the errno
    // (WouldBlock when a non-blocking socket's buffer is full).
    [[nodiscard]] TSocketResult Send(const void* data, std::size_t length);
    // One receive call of at most length bytes: the number read; 0 when the peer closed the
    // connection; the errno on failure (WouldBlock: no data yet).
    [[nodiscard]] TSocketResult Receive(void* buffer, std::size_t length);

private:
    friend class TTcpListener;
    void Adopt(int handle);
};

// A listening TCP socket (the loopback test peers and the benchmarks' sinks). The
// listener is non-blocking: wait readable, then Accept.
class TTcpListener : public TSocketBase {
public:
    // Creates, binds (port 0: one the system picks, see LocalPort) and listens.
    // SO_REUSEADDR lets a restarted server take its port while old connections linger.
    [[nodiscard]] TSocketStatus Listen(std::uint32_t address, std::uint16_t port,
                                       int backlog = 16, bool reuseAddress = true);
    // Takes one pending connection into connection (a blocking socket; the caller may switch
    // it). WouldBlock when none is pending.
    [[nodiscard]] TSocketStatus Accept(TTcpSocket& connection,
                                       std::uint32_t* fromAddress = nullptr,
                                       std::uint16_t* fromPort = nullptr);
};

// A blocking-style TCP connection for one HTTP/1.0 exchange (the firmware upload). The
// socket is non-blocking underneath and every step is bounded by its own time-out. A
// failure gives its reason with the result ("Connection refused", "Connection timed out",
// the resolver's text for an unknown host, "Connection reset by peer", ...).
class TTcpStream {
public:
    TTcpStream() = default;
    TTcpStream(TTcpStream&&) noexcept = default;
    TTcpStream& operator=(TTcpStream&&) noexcept = default;

    // Resolves host (a name or dotted IPv4; getaddrinfo, IPv4 only) and connects to the
    // first address that answers within TimeoutMs(connectTimeoutMs) each. A wait that ran
    // out fails with ETIMEDOUT; an unknown host with the resolver's (negative) error.
    [[nodiscard]] TSocketStatus Connect(const std::string& host, std::uint16_t port,
                                        int connectTimeoutMs);
    // Sends all bytes; each wait for the socket to take more is bounded by
    // TimeoutMs(timeoutMs) (a peer that stops reading fails the send, it never hangs).
    // Count is what went out (all of it when Ok).
    [[nodiscard]] TSocketResult SendAll(const void* data, std::size_t length, int timeoutMs);
    [[nodiscard]] TSocketResult SendAll(std::string_view data, int timeoutMs) {
        return SendAll(data.data(), data.size(), timeoutMs);
    }
    // Waits up to TimeoutMs(timeoutMs) for data and reads once, at most length bytes: the
    // number read (> 0); 0 when the peer closed the connection; a time-out (ETIMEDOUT) or
    // an error otherwise.
    [[nodiscard]] TSocketResult ReadSome(void* buffer, std::size_t length, int timeoutMs);

    // The same, never waiting past deadline (real time, already shortened by the caller
    // through TimeoutMs): a peer that sends or takes a byte now and then keeps the idle
    // time-out from firing, the deadline still ends the exchange (ETIMEDOUT).
    using TDeadline = platform::TDeadline;
    [[nodiscard]] TSocketResult SendAll(const void* data, std::size_t length, int timeoutMs,
                                        TDeadline deadline);
    [[nodiscard]] TSocketResult ReadSome(void* buffer, std::size_t length, int timeoutMs,
                                         TDeadline deadline);
    void Close();

    [[nodiscard]] bool IsOpen() const { return FSocket.IsOpen(); }

private:
    TSocketStatus ConnectAddress(std::uint32_t address, std::uint16_t port, int connectTimeoutMs);
    // Waits for events up to TimeoutMs(timeoutMs), and never past deadline when one is
    // given: done when Ready, ETIMEDOUT when the time ran out, the errno of poll otherwise.
    TSocketStatus WaitUntil(short events, int timeoutMs, const TDeadline* deadline) const;

    TTcpSocket FSocket;
};

// A UDP socket: the discovery listeners, the CTP and T-series searches, the test peers.
class TUdpSocket : public TSocketBase {
public:
    // Creates a new datagram socket, closing any previous one.
    [[nodiscard]] TSocketStatus Create();
    // SO_REUSEADDR; set it before Bind, and only when asked for (without it a second bind
    // of a taken port fails, which is how free ports are found).
    [[nodiscard]] TSocketStatus SetReuseAddress(bool on);
    [[nodiscard]] TSocketStatus SetBroadcast(bool on);
    [[nodiscard]] bool Broadcast() const;
    // IP_PKTINFO: each received datagram tells on which interface it arrived.
    [[nodiscard]] TSocketStatus SetReceiveInterface(bool on);
    // Binds to address:port (IPv4Any for all local addresses; port 0 for one the system
    // picks, see LocalPort).
    [[nodiscard]] TSocketStatus Bind(std::uint32_t address, std::uint16_t port);
    // One datagram: the number of bytes sent, or the errno.
    [[nodiscard]] TSocketResult SendTo(const void* data, std::size_t length,
                                       std::uint32_t address, std::uint16_t port) const;
    // One datagram to every target in turn (out of the target's interface, from its
    // address; see platform/Interfaces); a send that fails does not stop the others. The
    // number of targets it went out to whole. Any thread, also while another receives.
    int SendToTargets(const void* data, std::size_t length, std::uint16_t port,
                      const std::vector<TBroadcastTarget>& targets) const;
    // Receives one datagram into buffer (at most length bytes are stored) with its sender
    // and, when SetReceiveInterface is on, its interface. A socket shut down gives 0 bytes.
    [[nodiscard]] TReceivedDatagram ReceiveFrom(void* buffer, std::size_t length) const;
};

} // namespace torvane::platform
