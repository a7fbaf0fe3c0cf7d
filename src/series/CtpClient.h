#pragma once
// The CTP client of one TCP connection to an E camera. TSocketThread has no thread of its
// own, whatever its name says: every operation blocks the calling thread
// (the upgrade worker). Every fixed wait goes through platform::SleepMs and every deadline
// through platform::TimeoutMs, so tests run without real waits. The bytes it sends are
// made in series/CtpFraming; the package it reads is walked by series/Pk2Package.

#include "platform/Socket.h"
#include "series/CtpFraming.h"
#include "series/CtpSearchReply.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace torvane {

// Result codes of the client's operations (0 is success everywhere).
constexpr int CtpOk = 0;
constexpr int CtpRefused = 1;        // refused, or a request without a "200" answer
constexpr int CtpBadAddress = 4;     // the IP text is not a dotted IPv4 unicast address
constexpr int CtpConnectFailed = 5;  // the connection attempt failed
constexpr int CtpNoSocket = 11;      // no socket could be created
constexpr int CtpReceiveFailed = -1; // receiving failed (also: the package could not be read
                                     // as its headers announce)
constexpr int CtpTimedOut = -2;      // nothing arrived in time
constexpr int CtpNotReply = -3;      // the reply does not begin with "REPLY "
constexpr int CtpClosed = -4;        // the camera closed the connection
constexpr int CtpSendFailed = -5;    // sending was incomplete, or closing failed

// Time-outs and fixed waits (nominal milliseconds; the sleeper may shorten them).
constexpr int CtpAnswerTimeoutMs = 8000;   // the first answer or reply to a message
constexpr int CtpContinueTotalMs = 60000;  // every further reply after "Continue", together
constexpr int CtpConnectWaitMs = 1000;     // after a connection attempt has been started
constexpr int CtpRetryReadWaitMs = 1000;   // after a read that found no data yet
constexpr int CtpSearchReplyWaitMs = 300;  // between search replies
constexpr int CtpSearchTotalMs = 10000;    // the whole search, however chatty the LAN
constexpr int CtpModeSwitchWaitMs = 5000;  // after leaving configuration or upgrade mode
constexpr int CtpRebootWaitMs = 40000;     // before the first reconnection attempt
constexpr int CtpRebootPollWaitMs = 10000; // between reconnection attempts
constexpr int CtpRebootPollCount = 10;     // pauses before giving up

// Raised when a client cannot have a socket; the text is the IDS_CRTSOCKETERR message.
class TCtpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// False when the account or the password holds CR or LF (see ctp::CredentialsSendable).
[[nodiscard]] inline bool CtpCredentialsSendable(const std::string& account,
                                                 const std::string& password) {
    return ctp::CredentialsSendable(account, password);
}

class TSocketThread {
public:
    // Stores the endpoint and creates the socket; throws TCtpError (IDS_CRTSOCKETERR text)
    // when no socket can be had.
    TSocketThread(std::string ip, int port);
    ~TSocketThread();
    TSocketThread(const TSocketThread&) = delete;
    TSocketThread& operator=(const TSocketThread&) = delete;

    // A new non-blocking TCP socket with TCP_NODELAY, replacing any open one: 0 or 11.
    [[nodiscard]] int CreateSocket();
    // Starts connecting to IP:port and waits 1000 ms: 0; 4 for an IP text that is not a
    // dotted unicast IPv4 address ("255.255.255.255" included); 5 when the attempt failed
    // at once or had already failed by the end of the wait.
    [[nodiscard]] int ConnectDevice();
    // 0, or -5 when closing failed.
    [[nodiscard]] int CloseSocket();

    // True when the file has at least 28 bytes and begins with "PK2" and a zero byte.
    [[nodiscard]] static bool CheckPK2File(const std::string& path);
    // True when the sections the header announces are all present and every frame they
    // make fits its limits (file name at most 255 bytes, a command within the send
    // buffer); the transfer refuses such packages anyway, this tells before the camera is
    // touched.
    [[nodiscard]] static bool CheckPK2Layout(const std::string& path);

    // Configuration mode.
    // -5 without sending anything when the account or the password holds CR or LF (they
    // would add lines to the request) or the two do not fit one message.
    [[nodiscard]] int SendLogin(const std::string& account, const std::string& password);
    [[nodiscard]] int SendExit();
    // Sends the message in the send buffer and reads the answer: 0 when it holds "200",
    // 1 when it does not or none came, -5 when sending failed. Bytes still unread from an
    // earlier answer are dropped before the message goes out.
    [[nodiscard]] int SendRequest();
    // Whether the last request (SendLogin, SendExit, SendRequest) got an answer at all: a
    // refusal (1) with an answer is a refused request, without one a camera that does not
    // answer.
    [[nodiscard]] bool LastRequestAnswered() const { return FAnswered; }
    // Reads one answer within 8 s: its bytes until a line end (LF) is among them, 199
    // bytes have come or the 8 s are over; 0, -1, -2 (nothing came) or -4 (closed before
    // anything came); the answer up to its first zero byte and the number of bytes read.
    [[nodiscard]] int RecvAnswer(std::string& answer, int& length);

    // Upgrade mode.
    // Sends the message in the send buffer and awaits its reply: RecvReply's code, or -5.
    [[nodiscard]] int SendFrame(std::string& reply);
    // 0 for an OK reply; 1 for a reply that is neither OK nor Continue (and for
    // "Continue 0"); -1, -2, -3, -4 as above. A reply is read as RecvAnswer reads an
    // answer. After "Continue <n>" it reads the next reply, all of them within
    // CtpContinueTotalMs; lines that are not replies ("Progress: 50") are passed over
    // there, whether they came with the Continue line or later. The reply text (after
    // "REPLY ") and its length are handed back.
    [[nodiscard]] int RecvReply(std::string& reply, int& length);
    // The probe that opens the upgrade mode: "CMD 10" CR LF "echo hello".
    [[nodiscard]] int SendProbe();
    // Sends the section at the package's read position: 0 when the camera accepted it (a
    // section of an unknown kind is passed over); the failing frame's code; -1 when the
    // package does not hold what the section header announces or a frame would not fit.
    [[nodiscard]] int SendSection(std::istream& package);

    // Puts header + payload into the zeroed send buffer; false (nothing put) when they do
    // not fit its 2048 bytes.
    [[nodiscard]] bool PutMessage(std::string_view header, const void* payload,
                                  std::size_t payloadSize);
    [[nodiscard]] std::string_view Message() const {
        return {reinterpret_cast<const char*>(FSendBuf.data()), static_cast<std::size_t>(FSendLen)};
    }

    // Broadcasts the search probe (to SearchTargets()) and collects the replies that
    // come, each within 300 ms of the one before: the number of replies added to list.
    // (series/CtpSearch.cpp)
    [[nodiscard]] static int SearchCTPDevices(TCTPDeviceList& list);

    [[nodiscard]] const std::string& IP() const { return FIP; }
    [[nodiscard]] int Port() const { return FPort; }

private:
    // Gathers one line into FRecvBuf (held bytes first): until a line end is among the
    // bytes, the buffer is full or the deadline passes. 0 with got > 0 when anything came
    // (also when the camera then closed, failed or went quiet); otherwise -2, -4 or -1.
    [[nodiscard]] int ReadLine(std::chrono::steady_clock::time_point deadline,
                               bool pauseAfterFailedRead, std::size_t& got);
    void DiscardStaleBytes();
    [[nodiscard]] int SendMessage();
    [[nodiscard]] int SendFrameWith(std::string_view verb, const void* payload,
                                    std::size_t payloadSize);
    [[nodiscard]] int SendFileSection(TPk2Reader& package, const TPk2Section& section);

    std::string FIP;
    int FPort = 0;
    platform::TTcpSocket FSocket;
    bool FConnectTried = false; // the socket has been used for a connection attempt
    std::array<std::uint8_t, CtpReadSize + 1> FRecvBuf{};
    std::array<std::uint8_t, CtpSendBufferSize> FSendBuf{};
    int FSendLen = 0;
    std::string FPendingReply; // bytes that came after a Continue line, not yet looked at
    bool FAnswered = false;    // the last request got an answer
};

} // namespace torvane
