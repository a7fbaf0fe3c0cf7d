#include "series/CtpFraming.h"

#include "platform/Text.h"

namespace torvane {

void XorWithTransferKey(std::uint8_t* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] ^= TransferKey[i % TransferKey.size()];
    }
}

namespace ctp {

bool CredentialsSendable(const std::string& account, const std::string& password) {
    return account.find_first_of("\r\n") == std::string::npos &&
           password.find_first_of("\r\n") == std::string::npos;
}

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

bool AnswerAccepts(std::string_view answer) {
    return answer.find("200") != std::string_view::npos;
}

std::string FrameHeader(std::string_view verb, std::size_t payloadSize) {
    return std::string(verb) + " " + std::to_string(payloadSize) + "\r\n";
}

bool CommandFits(std::uint64_t size) {
    return size <= CtpSendBufferSize &&
           FrameHeader(VerbCommand, static_cast<std::size_t>(size)).size() + size <=
               CtpSendBufferSize;
}

std::string FileStartPayload(const std::string& name, std::uint64_t dataLength) {
    return name + " " + std::to_string(dataLength);
}

std::string ReplyText(platform::TByteReader received) {
    const platform::TByteReader text = received.Sub(ReplyPrefix.size(), received.Length());
    return text.Text(0, text.Length());
}

TReplyKind ClassifyReply(platform::TByteReader received) {
    if (!received.StartsWith(ReplyPrefix)) {
        return TReplyKind::NotReply;
    }
    const std::string text = ReplyText(received);
    if (platform::StartsWith(text, "OK")) {
        return TReplyKind::Ok;
    }
    constexpr std::string_view Continue = "Continue";
    if (!platform::StartsWith(text, Continue)) {
        return TReplyKind::Refused;
    }
    // "Continue", one separator byte, then the count of what is still to come.
    constexpr std::size_t CountAt = ReplyPrefix.size() + Continue.size() + 1;
    return received.U8(CountAt) == '0' ? TReplyKind::ContinueDone : TReplyKind::ContinueMore;
}

} // namespace ctp

} // namespace torvane
