#include "series/uEUpgradeFile.h"

#include "i18n/Deployment.h"
#include "i18n/StrRes.h"
#include "platform/Sleeper.h"
#include "platform/Text.h"
#include "upgrade/md5.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>

#include <poll.h>

// BSD sockets need no start-up or clean-up of a socket layer, so the "socket layer does
// not start" failure (IDS_INITWSADATAERR) cannot arise on this platform; a client that gets
// no socket raises TCtpError with the IDS_CRTSOCKETERR text.

namespace torvane {

namespace {

using TClock = std::chrono::steady_clock;

constexpr std::string_view ReplyPrefix = "REPLY ";
constexpr std::string_view SearchProbe = "SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n";
constexpr std::size_t SearchDatagramUsed = 511;

std::mutex GSearchPortsLock;
TCtpSearchPorts GSearchPorts;

// Waits until the socket is readable or the deadline (real time) passes. poll() directly,
// since the deadline here spans several waits and the platform's waits take a nominal
// time-out each.
enum class TReadyState { Ready, TimedOut, Failed };

TReadyState WaitReadableUntil(int handle, TClock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
        pollfd p{handle, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::max<long long>(0, left)));
        if (r > 0) {
            return TReadyState::Ready;
        }
        if (r == 0) {
            return TReadyState::TimedOut;
        }
        if (errno != EINTR) {
            return TReadyState::Failed;
        }
    }
}

TClock::time_point DeadlineIn(int nominalMs) {
    return TClock::now() + std::chrono::milliseconds(platform::TimeoutMs(nominalMs));
}

std::int32_t ReadLe32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) |
                                     (static_cast<std::uint32_t>(p[1]) << 8) |
                                     (static_cast<std::uint32_t>(p[2]) << 16) |
                                     (static_cast<std::uint32_t>(p[3]) << 24));
}

bool ReadExact(std::istream& in, void* buffer, std::size_t size) {
    if (size == 0) {
        return true;
    }
    in.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(in.gcount()) == size;
}

bool ReadInt32(std::istream& in, std::int32_t& value) {
    std::uint8_t b[4];
    if (!ReadExact(in, b, sizeof b)) {
        return false;
    }
    value = ReadLe32(b);
    return true;
}

// Bytes between the read position and the end of the stream; -1 when it cannot be told.
long long RemainingBytes(std::istream& in) {
    const auto here = in.tellg();
    if (here < 0) {
        return -1;
    }
    in.seekg(0, std::ios::end);
    const auto end = in.tellg();
    in.seekg(here);
    if (end < 0 || !in) {
        return -1;
    }
    return static_cast<long long>(end - here);
}

// The login request: its body, account and password trimmed, and its header.
std::string LoginBody(const std::string& account, const std::string& password) {
    return "-login " + platform::Trim(account) + ":" + platform::Trim(password) + "\r\n\r\n";
}

std::string LoginHeader(std::size_t bodySize) {
    return "CMD cfgusr CTP/1.0\r\nContent-Length:" + std::to_string(bodySize) + "\r\n\r\n";
}

bool LoginFits(const std::string& account, const std::string& password) {
    const std::size_t body = LoginBody(account, password).size();
    return LoginHeader(body).size() + body <= CtpSendBufferSize;
}

// "CMD " + n + CR LF: the header of a command frame.
std::string CommandHeader(std::size_t size) {
    return "CMD " + std::to_string(size) + "\r\n";
}

bool CommandFits(std::int32_t size) {
    return size >= 0 && CommandHeader(static_cast<std::size_t>(size)).size() +
                                static_cast<std::size_t>(size) <=
                            CtpSendBufferSize;
}

// Walks one section without sending it: false when the package does not hold what the
// header announces or a frame it makes would not fit.
bool SkipSectionChecked(std::istream& in) {
    std::uint8_t header[Pk2SectionHeaderSize];
    if (!ReadExact(in, header, sizeof header)) {
        return false;
    }
    const std::int32_t size = ReadLe32(header + 20);
    if (std::memcmp(header, "FILE", 4) == 0) {
        std::int32_t nameLength = 0;
        std::int32_t dataLength = 0;
        if (!ReadInt32(in, nameLength) || nameLength < 0 ||
            static_cast<std::size_t>(nameLength) > CtpMaxFileNameLength) {
            return false;
        }
        in.seekg(nameLength, std::ios::cur);
        if (!ReadInt32(in, dataLength) || dataLength < 0 || RemainingBytes(in) < dataLength) {
            return false;
        }
        in.seekg(dataLength, std::ios::cur);
        return static_cast<bool>(in);
    }
    if (std::memcmp(header, "CMD ", 4) == 0 && !CommandFits(size)) {
        return false;
    }
    if (size < 0 || RemainingBytes(in) < size) {
        return false;
    }
    in.seekg(size, std::ios::cur);
    return static_cast<bool>(in);
}

// A text cut to a record field's length.
std::string Cut(std::string_view text, std::size_t length) {
    return std::string(text.substr(0, length));
}

// The version of a "-version" value: its second blank-separated word together with the
// blank that ends it; empty when no blank follows that word.
std::string VersionOfValue(std::string_view value) {
    const auto first = value.find(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const auto second = value.find(' ', first + 1);
    if (second == std::string_view::npos) {
        return {};
    }
    return std::string(value.substr(first + 1, second - first));
}

// Lines of a datagram, cut at CR LF, CR or LF.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

} // namespace

void XorWithTransferKey(std::uint8_t* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] ^= TransferKey[i % TransferKey.size()];
    }
}

TCtpSearchPorts CtpSearchPorts() {
    std::lock_guard<std::mutex> g(GSearchPortsLock);
    return GSearchPorts;
}

void SetCtpSearchPorts(TCtpSearchPorts ports) {
    std::lock_guard<std::mutex> g(GSearchPortsLock);
    GSearchPorts = ports;
}

TCTPDeviceRecord ParseCTPSearchReply(std::string_view datagram) {
    // For each line the first key of this list that occurs anywhere in it decides; the
    // value is the text after the line's first blank.
    enum TKey { Name, Serial, PortCtp, IP, Netmask, Mdns, Sdns, Gateway, Dhcp, Version };
    static constexpr std::string_view Keys[] = {"-name", "-sn",  "-portctp", "-ip",     "-netmask",
                                                "-mdns", "-sdns", "-gw",     "-dhcpen", "-version"};
    TCTPDeviceRecord record;
    for (const std::string_view line : SplitLines(datagram)) {
        int key = -1;
        for (int k = 0; k < static_cast<int>(std::size(Keys)); ++k) {
            if (line.find(Keys[k]) != std::string_view::npos) {
                key = k;
                break;
            }
        }
        if (key < 0) {
            continue;
        }
        const auto blank = line.find(' ');
        const std::string_view value =
            blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
        switch (key) {
        case Name: record.Name = Cut(value, TCTPDeviceRecord::NameLength); break;
        case Serial: record.Serial = Cut(value, TCTPDeviceRecord::SerialLength); break;
        case PortCtp:
        {
            const long long port = platform::ToIntDef(value, 81);
            // A number beyond 32 bits is no number for this field either.
            record.PortCtp = port < INT32_MIN || port > INT32_MAX ? 81 : static_cast<int>(port);
            break;
        }
        case IP: record.IP = Cut(value, TCTPDeviceRecord::AddressLength); break;
        case Netmask: record.Netmask = Cut(value, TCTPDeviceRecord::AddressLength); break;
        case Mdns: record.PrimaryDns = Cut(value, TCTPDeviceRecord::AddressLength); break;
        case Sdns: record.SecondaryDns = Cut(value, TCTPDeviceRecord::AddressLength); break;
        case Gateway: record.Gateway = Cut(value, TCTPDeviceRecord::AddressLength); break;
        case Dhcp: record.DhcpOn = value != "0"; break;
        case Version:
            record.Version = Cut(VersionOfValue(value), TCTPDeviceRecord::VersionLength);
            break;
        default: break;
        }
    }
    return record;
}

// --- TSocketThread ---------------------------------------------------------------------------

TSocketThread::TSocketThread(std::string ip, int port) : FIP(std::move(ip)), FPort(port) {
    if (CreateSocket() != CtpOk) {
        throw TCtpError(GetStrRes("IDS_CRTSOCKETERR"));
    }
}

TSocketThread::~TSocketThread() {
    (void)CloseSocket();
}

int TSocketThread::CreateSocket() {
    (void)CloseSocket();
    FConnectTried = false;
    FPendingReply.clear();
    if (!FSocket.Create()) {
        return CtpNoSocket;
    }
    // Both switches are optimisations of the exchange; a socket that refuses one still
    // works (the waits below bound every step), so their failure is not fatal.
    (void)FSocket.SetNonBlocking(true);
    (void)FSocket.SetNoDelay(true);
    return CtpOk;
}

int TSocketThread::ConnectDevice() {
    std::uint32_t address = 0;
    if (!platform::ParseIPv4(FIP, address) || address == platform::IPv4Broadcast) {
        return CtpBadAddress;
    }
    if (FPort <= 0 || FPort > 65535) {
        return CtpConnectFailed;
    }
    // A socket whose connection attempt has been made cannot be connected again: a new
    // attempt (the reboot polls) takes a fresh one.
    if ((FConnectTried || !FSocket.IsOpen()) && CreateSocket() != CtpOk) {
        return CtpConnectFailed;
    }
    FConnectTried = true;
    if (FSocket.StartConnect(address, static_cast<std::uint16_t>(FPort)) ==
        platform::TTcpSocket::TConnectStart::Failed) {
        return CtpConnectFailed;
    }
    platform::SleepMs(CtpConnectWaitMs);
    // The handshake itself is not awaited (a slow one shows in the first send or reply),
    // but an attempt that has already been refused by now is a failed connection, not a
    // camera that answers.
    pollfd p{FSocket.Handle(), POLLOUT, 0};
    if (::poll(&p, 1, 0) > 0 && FSocket.PendingError() != 0) {
        return CtpConnectFailed;
    }
    return CtpOk;
}

int TSocketThread::CloseSocket() {
    FPendingReply.clear();
    if (!FSocket.IsOpen()) {
        return CtpOk;
    }
    return FSocket.Close() ? CtpOk : CtpSendFailed;
}

bool TSocketThread::CheckPK2File(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::uint8_t header[Pk2HeaderSize];
    return ReadExact(in, header, sizeof header) && std::memcmp(header, "PK2\0", 4) == 0;
}

bool TSocketThread::CheckPK2Layout(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::uint8_t header[Pk2HeaderSize];
    if (!in || !ReadExact(in, header, sizeof header)) {
        return false;
    }
    const std::int32_t count = ReadLe32(header + 24);
    if (count < 0) {
        return false;
    }
    // Every section takes at least its header, so a count beyond the file's size ends at
    // the first missing header.
    for (std::int32_t i = 0; i < count; ++i) {
        if (!SkipSectionChecked(in)) {
            return false;
        }
    }
    return true;
}

bool TSocketThread::PutMessage(std::string_view header, const void* payload,
                               std::size_t payloadSize) {
    FSendBuf.fill(0);
    FSendLen = 0;
    if (header.size() > CtpSendBufferSize || payloadSize > CtpSendBufferSize - header.size()) {
        return false;
    }
    std::memcpy(FSendBuf.data(), header.data(), header.size());
    if (payloadSize > 0) {
        std::memcpy(FSendBuf.data() + header.size(), payload, payloadSize);
    }
    FSendLen = static_cast<int>(header.size() + payloadSize);
    return true;
}

int TSocketThread::SendMessage() {
    if (!FSocket.IsOpen() || FSendLen <= 0) {
        return CtpSendFailed;
    }
    // One send call. On a fresh non-blocking connection the handshake may still be under
    // way; wait (bounded) until the socket can take the message instead of failing at once.
    if (FSocket.WaitWritable(CtpAnswerTimeoutMs) != platform::TWaitResult::Ready) {
        return CtpSendFailed;
    }
    const long sent = FSocket.Send(FSendBuf.data(), static_cast<std::size_t>(FSendLen));
    return sent == FSendLen ? CtpOk : CtpSendFailed;
}

// A camera may hand its answer over in several TCP segments (byte by byte, even): bytes
// are gathered until a line end (LF, so CR LF too) is among them, the buffer's 199 bytes are
// full, or the deadline passes. A camera that has its answer out in one segment is read
// with one call, as before. Bytes a read brought beyond the line stay in the buffer, as
// the single read of the protocol would take them.
int TSocketThread::ReadLine(TClock::time_point deadline, bool pauseAfterFailedRead,
                            std::size_t& got) {
    FRecvBuf.fill(0);
    got = 0;
    if (!FPendingReply.empty()) {
        got = std::min(FPendingReply.size(), CtpReadSize);
        std::memcpy(FRecvBuf.data(), FPendingReply.data(), got);
        FPendingReply.erase(0, got);
    }
    const auto lineEnded = [this, &got] {
        return std::memchr(FRecvBuf.data(), '\n', got) != nullptr;
    };
    while (!lineEnded() && got < CtpReadSize) {
        if (!FSocket.IsOpen()) {
            return got > 0 ? CtpOk : CtpReceiveFailed;
        }
        // The deadline is checked here as well as in the wait: a camera that keeps the
        // socket readable must not keep the read going.
        const auto ready = TClock::now() >= deadline
                               ? TReadyState::TimedOut
                               : WaitReadableUntil(FSocket.Handle(), deadline);
        if (ready == TReadyState::TimedOut) {
            return got > 0 ? CtpOk : CtpTimedOut;
        }
        if (ready == TReadyState::Failed) {
            return got > 0 ? CtpOk : CtpReceiveFailed;
        }
        const long n = FSocket.Receive(FRecvBuf.data() + got, CtpReadSize - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) {
            return got > 0 ? CtpOk : CtpClosed; // the camera closed after what it sent
        }
        // Every failed read of a reply is followed by the 1000 ms pause; only a read that
        // found no data yet is tried again.
        const bool noDataYet = FSocket.LastWouldBlock();
        if (pauseAfterFailedRead) {
            platform::SleepMs(CtpRetryReadWaitMs);
        }
        if (!noDataYet) {
            return got > 0 ? CtpOk : CtpReceiveFailed;
        }
    }
    return CtpOk;
}

void TSocketThread::DiscardStaleBytes() {
    // In the configuration mode every request has one answer: whatever is still unread
    // when the next request goes out is the tail of an earlier answer, not the new one's.
    FPendingReply.clear();
    std::array<std::uint8_t, 512> sink{};
    for (std::size_t dropped = 0; FSocket.IsOpen() && dropped < 64 * 1024;) {
        pollfd p{FSocket.Handle(), POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0 || (p.revents & POLLIN) == 0) {
            return;
        }
        const long n = FSocket.Receive(sink.data(), sink.size());
        if (n <= 0) {
            return; // a close or an error shows in the answer read that follows
        }
        dropped += static_cast<std::size_t>(n);
    }
}

int TSocketThread::RecvAnswer(std::string& answer, int& length) {
    answer.clear();
    length = 0;
    if (!FSocket.IsOpen()) {
        return CtpReceiveFailed;
    }
    FPendingReply.clear();
    std::size_t got = 0;
    const int code = ReadLine(DeadlineIn(CtpAnswerTimeoutMs), false, got);
    if (code != CtpOk) {
        return code;
    }
    const auto* text = reinterpret_cast<const char*>(FRecvBuf.data());
    answer.assign(text, ::strnlen(text, got));
    length = static_cast<int>(got);
    return CtpOk;
}

int TSocketThread::SendRequest() {
    FAnswered = false;
    DiscardStaleBytes();
    const int sent = SendMessage();
    if (sent != CtpOk) {
        return sent;
    }
    std::string answer;
    int length = 0;
    if (RecvAnswer(answer, length) != CtpOk) {
        return CtpRefused;
    }
    FAnswered = true;
    return answer.find("200") != std::string::npos ? CtpOk : CtpRefused;
}

bool CtpCredentialsSendable(const std::string& account, const std::string& password) {
    return account.find_first_of("\r\n") == std::string::npos &&
           password.find_first_of("\r\n") == std::string::npos;
}

int TSocketThread::SendLogin(const std::string& account, const std::string& password) {
    FAnswered = false;
    // A line break in either would end the login line early and put lines of its own into
    // the request: such credentials are never sent.
    if (!CtpCredentialsSendable(account, password)) {
        return CtpSendFailed;
    }
    const std::string body = LoginBody(account, password);
    const std::string header = LoginHeader(body.size());
    if (!PutMessage(header, body.data(), body.size())) {
        return CtpSendFailed; // credentials too long for one message: nothing is sent
    }
    return SendRequest();
}

int TSocketThread::SendExit() {
    FAnswered = false;
    constexpr std::string_view Exit = "CMD exit CTP/1.0\r\n";
    if (!PutMessage(Exit, nullptr, 0)) {
        return CtpSendFailed;
    }
    return SendRequest();
}

int TSocketThread::RecvReply(std::string& reply, int& length) {
    reply.clear();
    length = 0;
    // The first reply is awaited for at most 8 s, all of its bytes and a read that finds no
    // data yet included. Once the camera has said "Continue", every further reply is
    // awaited within CtpContinueTotalMs (60 s) counted from the first Continue, however
    // many follow and whatever else the camera sends in between.
    if (!FSocket.IsOpen()) {
        return CtpReceiveFailed;
    }
    auto deadline = DeadlineIn(CtpAnswerTimeoutMs);
    bool continued = false;
    for (;;) {
        std::size_t got = 0;
        const int code = ReadLine(deadline, true, got);
        if (code != CtpOk) {
            return code;
        }
        const auto* bytes = reinterpret_cast<const char*>(FRecvBuf.data());
        const std::string_view received(bytes, got);
        const auto lineEnd = received.find('\n');
        // What came after the line: the next reply may be among it.
        const std::string_view rest =
            lineEnd == std::string_view::npos ? std::string_view() : received.substr(lineEnd + 1);
        if (!platform::StartsWith(received, ReplyPrefix)) {
            if (!continued) {
                return CtpNotReply;
            }
            // After a Continue the camera may report its progress ("Progress: 50"): a line
            // that is no reply is passed over, and the next reply is waited for.
            FPendingReply.insert(0, rest.data(), rest.size());
            continue;
        }
        const char* text = bytes + ReplyPrefix.size();
        reply.assign(text, ::strnlen(text, got - ReplyPrefix.size()));
        length = static_cast<int>(got - ReplyPrefix.size());
        if (platform::StartsWith(reply, "OK")) {
            return CtpOk;
        }
        if (!platform::StartsWith(reply, "Continue")) {
            return CtpRefused;
        }
        // "Continue" and one more byte, then the count of what is still to come; "0" means
        // nothing more comes, and since only an OK reply accepts a frame, that is a refusal.
        if (FRecvBuf[ReplyPrefix.size() + 9] == '0') {
            return CtpRefused;
        }
        if (!continued) {
            continued = true;
            deadline = DeadlineIn(CtpContinueTotalMs);
        }
        // The next reply may have come in the same read, after the Continue line; what is
        // there and is no reply is dropped line by line above.
        FPendingReply.insert(0, rest.data(), rest.size());
        reply.clear();
        length = 0;
    }
}

int TSocketThread::SendFrame(std::string& reply) {
    reply.clear();
    FPendingReply.clear();
    const int sent = SendMessage();
    if (sent != CtpOk) {
        return sent;
    }
    int length = 0;
    return RecvReply(reply, length);
}

int TSocketThread::SendFrameWith(std::string_view header, const void* payload,
                                 std::size_t payloadSize) {
    if (!PutMessage(header, payload, payloadSize)) {
        return CtpReceiveFailed;
    }
    std::string reply;
    return SendFrame(reply);
}

int TSocketThread::SendProbe() {
    constexpr std::string_view Echo = "echo hello";
    return SendFrameWith("CMD " + std::to_string(Echo.size()) + "\r\n", Echo.data(), Echo.size());
}

int TSocketThread::SendFileSection(std::istream& package) {
    std::int32_t nameLength = 0;
    if (!ReadInt32(package, nameLength) || nameLength < 0 ||
        static_cast<std::size_t>(nameLength) > CtpMaxFileNameLength) {
        return CtpReceiveFailed;
    }
    std::string name(static_cast<std::size_t>(nameLength), '\0');
    std::int32_t dataLength = 0;
    if (!ReadExact(package, name.data(), name.size()) || !ReadInt32(package, dataLength) ||
        dataLength < 0 || RemainingBytes(package) < dataLength) {
        return CtpReceiveFailed; // the package ends before the data it announces
    }
    const std::string start = name + " " + std::to_string(dataLength);
    int code = SendFrameWith("FILE " + std::to_string(start.size()) + "\r\n", start.data(),
                             start.size());
    if (code != CtpOk) {
        return code;
    }
    TMd5 digest;
    std::array<std::uint8_t, CtpDataBlockSize> block{};
    std::size_t sent = 0;
    const auto total = static_cast<std::size_t>(dataLength);
    while (sent < total) {
        const std::size_t k = std::min(CtpDataBlockSize, total - sent);
        if (!ReadExact(package, block.data(), k)) {
            return CtpReceiveFailed;
        }
        // Each block starts at a multiple of 8 of the data, so the key index restarts.
        XorWithTransferKey(block.data(), k);
        digest.Update(block.data(), k);
        code = SendFrameWith("DATA " + std::to_string(k) + "\r\n", block.data(), k);
        if (code != CtpOk) {
            return code;
        }
        sent += k;
    }
    const auto md5 = digest.Final();
    return SendFrameWith("MD5 16\r\n", md5.data(), md5.size());
}

int TSocketThread::SendSection(std::istream& package) {
    std::uint8_t header[Pk2SectionHeaderSize];
    if (!ReadExact(package, header, sizeof header)) {
        return CtpReceiveFailed;
    }
    const std::int32_t size = ReadLe32(header + 20);
    if (std::memcmp(header, "FILE", 4) == 0) {
        return SendFileSection(package);
    }
    if (std::memcmp(header, "CMD ", 4) == 0) {
        // Checked before anything is read or allocated: the command and its frame header
        // must fit the send buffer.
        if (!CommandFits(size) || RemainingBytes(package) < size) {
            return CtpReceiveFailed;
        }
        std::vector<std::uint8_t> command(static_cast<std::size_t>(size));
        if (!ReadExact(package, command.data(), command.size())) {
            return CtpReceiveFailed;
        }
        XorWithTransferKey(command.data(), command.size());
        return SendFrameWith(CommandHeader(command.size()), command.data(), command.size());
    }
    // Any other kind is passed over.
    if (size < 0 || RemainingBytes(package) < size) {
        return CtpReceiveFailed;
    }
    package.seekg(size, std::ios::cur);
    return package ? CtpOk : CtpReceiveFailed;
}

int TSocketThread::SearchCTPDevices(TCTPDeviceList& list) {
    platform::TUdpSocket socket;
    if (!socket.Create()) {
        return 0;
    }
    const TCtpSearchPorts ports = CtpSearchPorts();
    // When the port is taken (the camera dialog's listener may hold it) the socket goes on
    // unbound: the probe leaves from a port the system picks and the replies come there.
    (void)socket.Bind(platform::IPv4Any, ports.Local);
    (void)socket.SetBroadcast(true);
    (void)socket.SetNonBlocking(true);
    const auto targets = SearchTargets();
    if (targets.empty()) {
        return 0; // no destination (no interface that can broadcast): nothing to wait for
    }
    (void)platform::SendToTargets(socket.Handle(), SearchProbe.data(), SearchProbe.size(),
                                  ports.Remote, targets);

    int count = 0;
    const auto end = DeadlineIn(CtpSearchTotalMs);
    std::array<char, SearchDatagramUsed + 1> buffer{};
    while (TClock::now() < end) {
        if (socket.WaitReadable(CtpSearchReplyWaitMs) != platform::TWaitResult::Ready) {
            break;
        }
        std::uint32_t from = 0;
        std::uint16_t fromPort = 0;
        const long n = socket.ReceiveFrom(buffer.data(), SearchDatagramUsed, from, fromPort);
        if (n < 0) {
            if (socket.LastWouldBlock()) {
                continue;
            }
            break;
        }
        const std::string_view datagram(buffer.data(),
                                        std::min(static_cast<std::size_t>(n), SearchDatagramUsed));
        if (!platform::StartsWith(datagram, "REPLY")) {
            continue; // empty, our own probe, or another family's datagram
        }
        list.push_back(ParseCTPSearchReply(datagram));
        ++count;
    }
    return count;
}

// --- routines ------------------------------------------------------------------------------

bool ReadDeviceVersion(const std::string& ip, int port, std::string& version) {
    TSocketThread client(ip, port);
    if (client.ConnectDevice() != CtpOk) {
        return false;
    }
    TCTPDeviceList replies;
    (void)TSocketThread::SearchCTPDevices(replies);
    version.clear();
    for (const auto& record : replies) {
        if (record.IP == ip) {
            version = record.Version;
            break;
        }
    }
    return true;
}

std::string GetDeviceVersion(const std::string& ip, int port) {
    std::string version;
    if (!ReadDeviceVersion(ip, port, version)) {
        return GetStrRes("IDS_IPCCONNETERR");
    }
    return version;
}

namespace {

// Phase 1: log in to the configuration mode and leave it. Empty text on success.
std::string LeaveConfigurationMode(TSocketThread& client, const std::string& account,
                                   const std::string& password) {
    if (client.ConnectDevice() != CtpOk) {
        return GetStrRes("IDS_IPCCONNETERR");
    }
    if (client.SendLogin(account, password) != CtpOk) {
        // Only an answer without "200" is a refused login; a camera that does not answer
        // at all (silent, closed, or the connection never came about) cannot be reached.
        return GetStrRes(client.LastRequestAnswered() ? "IDS_LOGINERROR" : "IDS_NOIPCCONNECT");
    }
    if (client.SendExit() != CtpOk) {
        return GetStrRes("IDS_EXITIPCERR");
    }
    if (client.CloseSocket() != CtpOk) {
        return GetStrRes("IDS_CLOSEIPCERROR");
    }
    return {};
}

// Phase 2: the probe and the sections on a fresh connection. True when every section the
// package announces was accepted; message set when the upgrade mode could not be entered.
bool TransferSections(std::istream& package, std::int32_t count, const std::string& ip,
                      int port, std::string& message) {
    platform::SleepMs(CtpModeSwitchWaitMs);
    TSocketThread client(ip, port);
    bool transferred = false;
    if (client.ConnectDevice() != CtpOk || client.SendProbe() != CtpOk) {
        message = GetStrRes("IDS_ENTERUPGRADEERR");
    } else if (count >= 0) {
        std::int32_t sent = 0;
        while (sent < count && client.SendSection(package) == CtpOk) {
            ++sent;
        }
        transferred = sent == count;
    }
    (void)client.CloseSocket();
    platform::SleepMs(CtpModeSwitchWaitMs);
    return transferred;
}

// Phase 3: wait for the reboot, then try to connect until the camera takes a connection.
bool AwaitReboot(const std::string& ip, int port) {
    platform::SleepMs(CtpRebootWaitMs);
    TSocketThread client(ip, port);
    int pauses = 0;
    for (;;) {
        if (client.ConnectDevice() == CtpOk || pauses >= CtpRebootPollCount) {
            break;
        }
        platform::SleepMs(CtpRebootPollWaitMs);
        ++pauses;
    }
    (void)client.CloseSocket();
    platform::SleepMs(CtpModeSwitchWaitMs);
    // Eleven attempts at most; one that succeeds only after the tenth pause still counts
    // as not back, as the worker's own polls do.
    return pauses < CtpRebootPollCount;
}

} // namespace

bool UploadPackage(const std::string& packagePath, const std::string& ip, int port,
                   const std::string& account, const std::string& password,
                   std::string& message) {
    message.clear();
    // Credentials the login message cannot carry are refused before anything is sent.
    if (!CtpCredentialsSendable(account, password) || !LoginFits(account, password)) {
        message = GetStrRes("IDS_PASSWORDERROR");
        return false;
    }
    {
        TSocketThread client(ip, port);
        if (!TSocketThread::CheckPK2File(packagePath)) {
            message = GetStrRes("IDS_UPGRADEFILEFAIL");
            return false;
        }
        // A package whose sections are not all there (or would not fit their frames) is
        // refused before the camera leaves its normal mode, rather than part-way through.
        if (!TSocketThread::CheckPK2Layout(packagePath)) {
            message = GetStrRes("IDS_UPGRADEFILEERR");
            return false;
        }
        message = LeaveConfigurationMode(client, account, password);
        if (!message.empty()) {
            return false;
        }
    }

    std::ifstream package(packagePath, std::ios::binary);
    std::uint8_t header[Pk2HeaderSize];
    if (!package || !ReadExact(package, header, sizeof header)) {
        // The package went away or shrank while the camera left its configuration mode:
        // stop before the upgrade mode is entered, false with an empty message.
        return false;
    }
    const std::int32_t count = ReadLe32(header + 24);
    if (!TransferSections(package, count, ip, port, message)) {
        if (message.empty()) {
            message = GetStrRes("IDS_UPGRADEFILEERR");
        }
        return false;
    }
    package.close();

    if (!AwaitReboot(ip, port)) {
        // The camera did not come back: false with an empty message; the worker's own
        // polls that follow tell the user what became of it.
        return false;
    }
    return true;
}

} // namespace torvane
