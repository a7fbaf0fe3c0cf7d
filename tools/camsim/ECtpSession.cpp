#include "ECtpSession.h"

#include "Md5.h"
#include "Text.h"

namespace camsim {

namespace {

constexpr std::string_view LineEnd = "\r\n";
constexpr std::size_t MaxHeadBytes = 8 * 1024;
constexpr std::size_t MaxFileBytes = 256u * 1024 * 1024;
constexpr std::size_t MaxFileName = 255;

std::string Decode(std::string_view wire, std::size_t offset) {
    std::string plain(wire);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        plain[i] = static_cast<char>(static_cast<unsigned char>(plain[i]) ^ CtpKey[(offset + i) % 8]);
    }
    return plain;
}

} // namespace

TCtpSession::TOutput TCtpSession::Feed(std::string_view bytes) {
    TOutput out;
    if (FClosed) {
        return out;
    }
    FInput.append(bytes);
    while (!FClosed && out.Later.empty()) {
        const bool handled =
            FMode == EMode::Configuration ? NextRequest(out) : NextFrame(out);
        if (!handled) {
            break;
        }
    }
    return out;
}

void TCtpSession::Refuse(const std::string& why, TOutput& out, bool close) {
    FTrouble = why;
    out.Now += (FMode == EMode::Upgrade ? "REPLY Error " : "400 Bad Request: ") + why + "\r\n";
    if (close) {
        out.Close = true;
        FClosed = true;
    }
}

bool TCtpSession::NextRequest(TOutput& out) {
    const auto end = FInput.find(LineEnd);
    if (end == std::string::npos) {
        if (FInput.size() > MaxHeadBytes) {
            Refuse("request line too long", out, true);
        }
        return false;
    }
    const std::string line = FInput.substr(0, end);
    constexpr std::string_view Suffix = " CTP/1.0";
    if (!StartsWith(line, "CMD ") || line.size() < 4 + Suffix.size() ||
        line.compare(line.size() - Suffix.size(), Suffix.size(), Suffix) != 0) {
        Refuse("not a CTP request: \"" + line + "\"", out, true);
        return false;
    }
    const std::string verb = line.substr(4, line.size() - 4 - Suffix.size());
    if (verb == "exit") {
        FInput.erase(0, end + LineEnd.size());
        if (!FLoggedIn) {
            FTrouble = "exit before a login";
            out.Now += "403 Forbidden\r\n";
            return true;
        }
        out.Now += "200 OK\r\n";
        out.Close = true;
        FClosed = true;
        FCamera.CtpLeaveConfiguration();
        return true;
    }
    if (verb != "cfgusr") {
        FInput.erase(0, end + LineEnd.size());
        FTrouble = "unknown request " + verb;
        out.Now += "501 Not Implemented\r\n";
        return true;
    }
    // Header lines up to the empty line, then Content-Length bytes of body.
    const auto headEnd = FInput.find("\r\n\r\n", end);
    if (headEnd == std::string::npos) {
        if (FInput.size() > MaxHeadBytes) {
            Refuse("request head too long", out, true);
        }
        return false;
    }
    unsigned long long length = 0;
    bool lengthSeen = false;
    const std::string_view headers =
        headEnd > end ? std::string_view(FInput).substr(end + 2, headEnd - end - 2) : std::string_view();
    for (const std::string& header : Split(headers, '\n')) {
        const auto colon = header.find(':');
        if (colon != std::string::npos && IEquals(Trim(header.substr(0, colon)), "Content-Length")) {
            lengthSeen = ParseUnsigned(Trim(header.substr(colon + 1)), MaxPayload, length);
            if (!lengthSeen) {
                Refuse("bad Content-Length", out, true);
                return false;
            }
        }
    }
    if (!lengthSeen) {
        Refuse("cfgusr without Content-Length", out, true);
        return false;
    }
    const std::size_t bodyStart = headEnd + 4;
    if (FInput.size() < bodyStart + length) {
        return false;
    }
    const std::string body = FInput.substr(bodyStart, length);
    FInput.erase(0, bodyStart + length);
    // "-login user:password" CR LF CR LF
    const auto bodyLine = body.substr(0, body.find(LineEnd));
    const auto colon = bodyLine.find(':');
    if (!StartsWith(bodyLine, "-login ") || colon == std::string::npos) {
        FTrouble = "cfgusr without -login";
        out.Now += "400 Bad Request\r\n";
        return true;
    }
    const std::string user = bodyLine.substr(7, colon - 7);
    const std::string password = bodyLine.substr(colon + 1);
    if (!FCamera.CtpAuthorized(user, password)) {
        FTrouble = "login of \"" + user + "\" refused";
        out.Now += "401 Unauthorized\r\n";
        return true;
    }
    FLoggedIn = true;
    out.Now += "200 OK\r\n";
    return true;
}

bool TCtpSession::NextFrame(TOutput& out) {
    const auto end = FInput.find(LineEnd);
    if (end == std::string::npos) {
        if (FInput.size() > 64) {
            Refuse("bad frame header", out, true);
        }
        return false;
    }
    const std::string header = FInput.substr(0, end);
    const auto blank = header.find(' ');
    unsigned long long length = 0;
    if (blank == std::string::npos || blank == 0 ||
        !ParseUnsigned(header.substr(blank + 1), MaxPayload, length)) {
        Refuse("bad frame header \"" + header + "\"", out, true);
        return false;
    }
    const std::size_t start = end + LineEnd.size();
    if (FInput.size() < start + length) {
        return false;
    }
    std::string payload = FInput.substr(start, length);
    FInput.erase(0, start + length);
    Frame(header.substr(0, blank), std::move(payload), out);
    return true;
}

void TCtpSession::Frame(const std::string& verb, std::string payload, TOutput& out) {
    static const std::string Ok = "REPLY OK\r\n";
    if (!FProbed) {
        if (verb == "CMD" && payload == "echo hello") {
            FProbed = true;
            out.Now += Ok;
        } else {
            Refuse("expected the probe, got " + verb, out, true);
        }
        return;
    }
    if (verb == "CMD") {
        FCamera.CtpCommand(Decode(payload, 0));
        out.Now += Ok;
        return;
    }
    if (verb == "FILE") {
        const auto blank = payload.rfind(' ');
        unsigned long long size = 0;
        if (FFileOpen) {
            Refuse("FILE while " + FFileName + " is under way", out, true);
        } else if (blank == std::string::npos || blank == 0 || blank > MaxFileName ||
                   !ParseUnsigned(payload.substr(blank + 1), MaxFileBytes, size)) {
            Refuse("bad FILE payload", out, true);
        } else {
            FFileOpen = true;
            FFileName = payload.substr(0, blank);
            FFileSize = size;
            FFileData.clear();
            FFileWire.clear();
            out.Now += Ok;
        }
        return;
    }
    if (verb == "DATA") {
        if (!FFileOpen) {
            Refuse("DATA without FILE", out, true);
        } else if (FFileData.size() + payload.size() > FFileSize) {
            Refuse("more data than announced for " + FFileName, out, true);
        } else {
            FFileData += Decode(payload, FFileData.size());
            FFileWire += payload;
            out.Now += Ok;
        }
        return;
    }
    if (verb == "MD5") {
        if (!FFileOpen || payload.size() != 16) {
            Refuse("MD5 without FILE or not 16 bytes", out, true);
            return;
        }
        FFileOpen = false;
        if (FFileData.size() != FFileSize) {
            Refuse(FFileName + ": " + std::to_string(FFileData.size()) + " of " +
                       std::to_string(FFileSize) + " bytes came",
                   out, false);
            return;
        }
        if (Md5Raw(FFileWire) != payload) {
            Refuse(FFileName + ": digest mismatch", out, false);
            return;
        }
        const std::string refusal = FCamera.CtpTakeFile(FFileName, FFileData);
        if (!refusal.empty()) {
            Refuse(refusal, out, false);
            return;
        }
        ++FFilesTaken;
        out.Now += "REPLY Continue 1\r\n";
        out.Later += Ok;
        return;
    }
    Refuse("unknown frame " + verb, out, true);
}

} // namespace camsim
