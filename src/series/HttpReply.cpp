#include "series/HttpReply.h"

#include "platform/Text.h"

#include <algorithm>
#include <charconv>

namespace torvane {

namespace {

// The value of the first header of that name (compared without regard to case).
std::string HeaderValue(const std::vector<std::string>& headers, std::string_view name) {
    for (const auto& h : headers) {
        const auto colon = h.find(':');
        if (colon != std::string::npos &&
            platform::CompareTextAscii(platform::Trim(h.substr(0, colon)), name) == 0) {
            return platform::Trim(h.substr(colon + 1));
        }
    }
    return {};
}

// A number made only of digits of base, the whole text.
template <typename T> bool ParseDigits(std::string_view text, int base, T& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size() && !text.empty() &&
           text.front() != '-' && text.front() != '+';
}

} // namespace

bool THttpReplyReader::Read() {
    for (;;) {
        std::string line;
        if (!ReadLine(line, MaxHeaderBytes)) {
            return false;
        }
        if (!ParseStatus(line)) {
            return false;
        }
        std::vector<std::string> headers;
        if (!ReadHeaders(headers)) {
            return false;
        }
        if (FStatus >= 100 && FStatus <= 199) {
            FStatusLine.clear();
            continue; // an interim reply: the final one follows
        }
        return ReadBody(headers);
    }
}

bool THttpReplyReader::Refused() const {
    return !FStatusLine.empty() && (FStatus < 100 || FStatus > 299);
}

bool THttpReplyReader::Fill() {
    char buffer[16 * 1024];
    const platform::TSocketResult n =
        FStream.ReadSome(buffer, sizeof(buffer), FReadTimeoutMs, FDeadline);
    if (n.Ok() && n.Count > 0) {
        FBuffer.append(buffer, n.Count);
        return true;
    }
    FClosed = n.Ok();
    FError = FClosed ? "Connection closed before the reply was complete" : n.ErrorText();
    return false;
}

// One line without its line end (CR LF, or a bare LF).
bool THttpReplyReader::ReadLine(std::string& line, std::size_t maxBytes) {
    for (;;) {
        const auto lf = FBuffer.find('\n');
        if (lf != std::string::npos) {
            std::size_t end = lf;
            if (end > 0 && FBuffer[end - 1] == '\r') {
                --end;
            }
            line.assign(FBuffer, 0, end);
            FBuffer.erase(0, lf + 1);
            FHeaderBytes += lf + 1;
            if (FHeaderBytes > maxBytes) {
                FError = "The reply's header is too long";
                return false;
            }
            return true;
        }
        if (FHeaderBytes + FBuffer.size() > maxBytes) {
            FError = "The reply's header is too long";
            return false;
        }
        if (!Fill()) {
            return false;
        }
    }
}

bool THttpReplyReader::ParseStatus(const std::string& line) {
    // HTTP/x.y SP 3DIGIT [SP reason]
    const auto blank = line.find(' ');
    int status = 0;
    if (!platform::StartsWith(line, "HTTP/") || blank == std::string::npos ||
        line.size() < blank + 4 ||
        !ParseDigits(std::string_view(line).substr(blank + 1, 3), 10, status)) {
        FError = "The camera's reply is not HTTP: " + line.substr(0, 80);
        return false;
    }
    FStatus = status;
    FStatusLine = line;
    return true;
}

bool THttpReplyReader::ReadHeaders(std::vector<std::string>& headers) {
    for (;;) {
        std::string line;
        if (!ReadLine(line, MaxHeaderBytes)) {
            return false;
        }
        if (line.empty()) {
            return true;
        }
        headers.push_back(std::move(line));
    }
}

bool THttpReplyReader::ReadBody(const std::vector<std::string>& headers) {
    if (FStatus == 204 || FStatus == 304) {
        return true;
    }
    if (platform::Contains(platform::LowerAscii(HeaderValue(headers, "Transfer-Encoding")),
                           "chunked")) {
        return ReadChunked();
    }
    const std::string lengthText = HeaderValue(headers, "Content-Length");
    const long long length = lengthText.empty() ? -1 : platform::ToIntDef(lengthText, -1);
    if (length >= 0) {
        return Skip(static_cast<std::uint64_t>(length));
    }
    // No length: the body runs until the camera closes.
    while (FBody + FBuffer.size() < MaxBodyBytes) {
        FBody += FBuffer.size();
        FBuffer.clear();
        if (!Fill()) {
            return FClosed;
        }
    }
    return true; // enough of a body that is not looked at anyway
}

// Consumes count body bytes (up to the cap; a longer body is not waited for).
bool THttpReplyReader::Skip(std::uint64_t count) {
    for (;;) {
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, FBuffer.size()));
        FBuffer.erase(0, take);
        count -= take;
        FBody += take;
        if (count == 0 || FBody >= MaxBodyBytes) {
            return true;
        }
        if (!Fill()) {
            return false;
        }
    }
}

bool THttpReplyReader::ReadChunked() {
    for (;;) {
        std::string line;
        FHeaderBytes = 0;
        if (!ReadLine(line, 1024)) {
            return false;
        }
        // The size in hexadecimal, then maybe extensions after ";" or a blank.
        const std::string_view hex = std::string_view(line).substr(0, line.find_first_of("; \t"));
        std::uint64_t size = 0;
        if (hex.size() > 15 || !ParseDigits(hex, 16, size)) {
            FError = "The reply's chunked body is malformed";
            return false;
        }
        if (size == 0) {
            // Trailer lines up to the empty line.
            FHeaderBytes = 0;
            for (;;) {
                if (!ReadLine(line, MaxHeaderBytes)) {
                    return false;
                }
                if (line.empty()) {
                    return true;
                }
            }
        }
        if (!Skip(size)) {
            return false;
        }
        if (FBody >= MaxBodyBytes) {
            return true;
        }
        FHeaderBytes = 0;
        if (!ReadLine(line, 1024)) { // the CR LF after the chunk
            return false;
        }
    }
}

} // namespace torvane
