#include "series/CtpClient.h"

#include "i18n/StrRes.h"
#include "platform/Sleeper.h"
#include "upgrade/md5.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

// BSD sockets need no start-up or clean-up of a socket layer, so the "socket layer does
// not start" failure (IDS_INITWSADATAERR) cannot arise on this platform; a client that gets
// no socket raises TCtpError with the IDS_CRTSOCKETERR text.

namespace torvane {

namespace {

using TClock = std::chrono::steady_clock;

TClock::time_point DeadlineIn(int nominalMs) {
    return TClock::now() + std::chrono::milliseconds(platform::TimeoutMs(nominalMs));
}

} // namespace

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
    const platform::TSocketStatus start =
        FSocket.StartConnect(address, static_cast<std::uint16_t>(FPort));
    if (!start.Ok() && !start.InProgress()) {
        return CtpConnectFailed;
    }
    platform::SleepMs(CtpConnectWaitMs);
    // The handshake itself is not awaited (a slow one shows in the first send or reply),
    // but an attempt that has already been refused by now is a failed connection, not a
    // camera that answers.
    if (FSocket.FailedConnectError() != 0) {
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

// --- the package ---------------------------------------------------------------------------

bool TSocketThread::CheckPK2File(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    TPk2Reader package(in);
    return in && package.ReadHeader() && package.HasMagic();
}

bool TSocketThread::CheckPK2Layout(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    TPk2Reader package(in);
    if (!in || !package.ReadHeader() || package.SectionCount() < 0) {
        return false;
    }
    // Every section takes at least its header, so a count beyond the file's size ends at
    // the first missing header.
    for (std::int32_t i = 0; i < package.SectionCount(); ++i) {
        TPk2Section section;
        if (!package.NextSection(section) ||
            (section.Kind == TPk2Kind::Command && !ctp::CommandFits(section.Size)) ||
            !package.SkipBody()) {
            return false;
        }
    }
    return true;
}

// --- sending -------------------------------------------------------------------------------

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
    const platform::TSocketResult sent =
        FSocket.Send(FSendBuf.data(), static_cast<std::size_t>(FSendLen));
    return sent.Ok() && sent.Count == static_cast<std::size_t>(FSendLen) ? CtpOk : CtpSendFailed;
}

// --- receiving -----------------------------------------------------------------------------

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
        const platform::TWaitResult ready = TClock::now() >= deadline
                                                ? platform::TWaitResult::TimedOut
                                                : FSocket.WaitReadableUntil(deadline);
        if (ready == platform::TWaitResult::TimedOut) {
            return got > 0 ? CtpOk : CtpTimedOut;
        }
        if (ready == platform::TWaitResult::Failed) {
            return got > 0 ? CtpOk : CtpReceiveFailed;
        }
        const platform::TSocketResult n = FSocket.Receive(FRecvBuf.data() + got, CtpReadSize - got);
        if (n.Ok() && n.Count > 0) {
            got += n.Count;
            continue;
        }
        if (n.Ok()) {
            return got > 0 ? CtpOk : CtpClosed; // the camera closed after what it sent
        }
        // Every failed read of a reply is followed by the 1000 ms pause; only a read that
        // found no data yet is tried again.
        if (pauseAfterFailedRead) {
            platform::SleepMs(CtpRetryReadWaitMs);
        }
        if (!n.WouldBlock()) {
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
        if (!FSocket.ReadableNow()) {
            return;
        }
        const platform::TSocketResult n = FSocket.Receive(sink.data(), sink.size());
        if (!n.Ok() || n.Count == 0) {
            return; // a close or an error shows in the answer read that follows
        }
        dropped += n.Count;
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
    answer = platform::TByteReader(FRecvBuf.data(), got).Text(0, got);
    length = static_cast<int>(got);
    return CtpOk;
}

// --- configuration mode --------------------------------------------------------------------

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
    return ctp::AnswerAccepts(answer) ? CtpOk : CtpRefused;
}

int TSocketThread::SendLogin(const std::string& account, const std::string& password) {
    FAnswered = false;
    // A line break in either would end the login line early and put lines of its own into
    // the request: such credentials are never sent.
    if (!ctp::CredentialsSendable(account, password)) {
        return CtpSendFailed;
    }
    const std::string body = ctp::LoginBody(account, password);
    const std::string header = ctp::LoginHeader(body.size());
    if (!PutMessage(header, body.data(), body.size())) {
        return CtpSendFailed; // credentials too long for one message: nothing is sent
    }
    return SendRequest();
}

int TSocketThread::SendExit() {
    FAnswered = false;
    if (!PutMessage(ctp::ExitRequest, nullptr, 0)) {
        return CtpSendFailed;
    }
    return SendRequest();
}

// --- upgrade mode --------------------------------------------------------------------------

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
        const platform::TByteReader received(FRecvBuf.data(), got);
        const auto lineEnd = received.All().find('\n');
        // What came after the line: the next reply may be among it.
        const std::string_view rest =
            lineEnd == std::string_view::npos ? std::string_view() : received.Rest(lineEnd + 1);
        const ctp::TReplyKind kind = ctp::ClassifyReply(received);
        if (kind == ctp::TReplyKind::NotReply) {
            if (!continued) {
                return CtpNotReply;
            }
            // After a Continue the camera may report its progress ("Progress: 50"): a line
            // that is no reply is passed over, and the next reply is waited for.
            FPendingReply.insert(0, rest.data(), rest.size());
            continue;
        }
        reply = ctp::ReplyText(received);
        length = static_cast<int>(got - ctp::ReplyPrefix.size());
        switch (kind) {
        case ctp::TReplyKind::Ok:
            return CtpOk;
        case ctp::TReplyKind::Refused:
            return CtpRefused;
        // Nothing more comes, and since only an OK reply accepts a frame, a refusal.
        case ctp::TReplyKind::ContinueDone:
            return CtpRefused;
        default:
            break;
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

int TSocketThread::SendFrameWith(std::string_view verb, const void* payload,
                                 std::size_t payloadSize) {
    if (!PutMessage(ctp::FrameHeader(verb, payloadSize), payload, payloadSize)) {
        return CtpReceiveFailed;
    }
    std::string reply;
    return SendFrame(reply);
}

int TSocketThread::SendProbe() {
    return SendFrameWith(ctp::VerbCommand, ctp::ProbePayload.data(), ctp::ProbePayload.size());
}

int TSocketThread::SendFileSection(TPk2Reader& package, const TPk2Section& section) {
    const std::string start = ctp::FileStartPayload(section.FileName, section.Size);
    int code = SendFrameWith(ctp::VerbFile, start.data(), start.size());
    if (code != CtpOk) {
        return code;
    }
    TMd5 digest;
    std::array<std::uint8_t, CtpDataBlockSize> block{};
    std::uint64_t sent = 0;
    while (sent < section.Size) {
        const auto k = static_cast<std::size_t>(
            std::min<std::uint64_t>(CtpDataBlockSize, section.Size - sent));
        if (!package.ReadBody(block.data(), k)) {
            return CtpReceiveFailed;
        }
        // Each block starts at a multiple of 8 of the data, so the key index restarts.
        XorWithTransferKey(block.data(), k);
        digest.Update(block.data(), k);
        code = SendFrameWith(ctp::VerbData, block.data(), k);
        if (code != CtpOk) {
            return code;
        }
        sent += k;
    }
    const auto md5 = digest.Final();
    return SendFrameWith(ctp::VerbDigest, md5.data(), md5.size());
}

int TSocketThread::SendSection(std::istream& in) {
    TPk2Reader package(in);
    TPk2Section section;
    if (!package.NextSection(section)) {
        return CtpReceiveFailed;
    }
    switch (section.Kind) {
    case TPk2Kind::File:
        return SendFileSection(package, section);
    case TPk2Kind::Command: {
        // Checked before anything is read or allocated: the command and its frame header
        // must fit the send buffer.
        if (!ctp::CommandFits(section.Size)) {
            return CtpReceiveFailed;
        }
        std::vector<std::uint8_t> command(static_cast<std::size_t>(section.Size));
        if (!package.ReadBody(command.data(), command.size())) {
            return CtpReceiveFailed;
        }
        XorWithTransferKey(command.data(), command.size());
        return SendFrameWith(ctp::VerbCommand, command.data(), command.size());
    }
    case TPk2Kind::Other:
    default:
        // Any other kind is passed over.
        return package.SkipBody() ? CtpOk : CtpReceiveFailed;
    }
}

} // namespace torvane
