#pragma once
// CTP/1.0 framing: the bytes of every message the CTP client sends and how a reply is
// read, without any socket. CTP is a line-oriented text protocol over TCP on the camera's
// port. In its normal (configuration) mode the camera takes "CMD <verb> CTP/1.0" requests
// and answers with a text holding "200" on success. After "CMD exit" it drops the
// connection and waits in its upgrade mode for a fresh one, on which every message is a
// frame:
//
//     <verb> <payload length in decimal> CR LF <payload>
//
// answered by "REPLY OK...", "REPLY Continue <n>..." (more replies follow) or a refusal.
// The package's command texts and file data travel XORed with TransferKey.

#include "platform/ByteReader.h"
#include "series/Pk2Package.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace torvane {

constexpr std::size_t CtpSendBufferSize = 2048; // one message, header and payload together
constexpr std::size_t CtpReadSize = 199;        // one read of an answer or reply
constexpr std::size_t CtpDataBlockSize = 1400;  // file data per DATA frame (a multiple of 8)
constexpr std::size_t CtpMaxFileNameLength = pk2::MaxFileNameLength;

// The XOR key of command texts and file data: byte i of a payload is XORed with
// TransferKey[i % 8].
inline constexpr std::array<std::uint8_t, 8> TransferKey = {0x5A, 0xC3, 0x1E, 0x97,
                                                            0x64, 0x2B, 0xF0, 0x8D};

// XORs bytes in place with TransferKey, key index = position modulo 8.
void XorWithTransferKey(std::uint8_t* bytes, std::size_t size);

namespace ctp {

// --- configuration mode ---------------------------------------------------------------------

// False when the account or the password holds CR or LF: in the login they would end the
// line and inject lines of their own, so they are never sent.
[[nodiscard]] bool CredentialsSendable(const std::string& account, const std::string& password);
// The login request's body ("-login account:password" CR LF CR LF, both trimmed) and its
// header ("Content-Length:" without a blank after the colon).
[[nodiscard]] std::string LoginBody(const std::string& account, const std::string& password);
[[nodiscard]] std::string LoginHeader(std::size_t bodySize);
// Header and body of the login fit one message.
[[nodiscard]] bool LoginFits(const std::string& account, const std::string& password);
inline constexpr std::string_view ExitRequest = "CMD exit CTP/1.0\r\n";
// An answer of the configuration mode accepts the request when it holds "200" anywhere.
[[nodiscard]] bool AnswerAccepts(std::string_view answer);

// --- upgrade mode ---------------------------------------------------------------------------

// "<verb> <size>" CR LF: the header of every frame.
[[nodiscard]] std::string FrameHeader(std::string_view verb, std::size_t payloadSize);
inline constexpr std::string_view VerbCommand = "CMD";
inline constexpr std::string_view VerbFile = "FILE";
inline constexpr std::string_view VerbData = "DATA";
inline constexpr std::string_view VerbDigest = "MD5";
// The probe that opens the upgrade mode is a command frame with this payload, as it is.
inline constexpr std::string_view ProbePayload = "echo hello";
// A command section of this many bytes fits one message with its frame header.
[[nodiscard]] bool CommandFits(std::uint64_t size);
// The file-start frame's payload: the file name, a blank and the data length.
[[nodiscard]] std::string FileStartPayload(const std::string& name, std::uint64_t dataLength);

// --- replies --------------------------------------------------------------------------------

inline constexpr std::string_view ReplyPrefix = "REPLY ";

enum class TReplyKind {
    NotReply,     // does not begin with "REPLY "
    Ok,           // "REPLY OK...": the frame was accepted
    ContinueMore, // "REPLY Continue <n>..." with n other than 0: another reply follows
    ContinueDone, // "REPLY Continue 0": nothing more comes; only OK accepts, so a refusal
    Refused,      // any other reply
};

// What the bytes of one read (a reply line, possibly with more after it) say. The count
// after "Continue" is the reply's 16th byte ("Continue", one more byte, then the count);
// bytes beyond those that came read as zero.
[[nodiscard]] TReplyKind ClassifyReply(platform::TByteReader received);
// The reply text after "REPLY ", up to its first zero byte.
[[nodiscard]] std::string ReplyText(platform::TByteReader received);

} // namespace ctp

} // namespace torvane
