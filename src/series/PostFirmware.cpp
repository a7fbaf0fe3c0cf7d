#include "series/PostFirmware.h"

#include "platform/Sleeper.h"
#include "platform/Socket.h"
#include "platform/Text.h"
#include "upgrade/Base64.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace torvane {

namespace {

constexpr const char* CRLF = "\r\n";
// The file goes out in blocks; each block must be taken within PostFirmwareTimeoutMs, so a
// camera that reads a byte now and then (about 1 KiB/s or less) cannot hold the upload.
constexpr std::size_t FileBlockBytes = 64 * 1024;
// The reply is drained, not examined: its header block and body are bounded so that a
// camera that talks without end cannot hold the upload.
constexpr std::size_t MaxReplyHeaderBytes = 64 * 1024;
constexpr std::size_t MaxReplyBodyBytes = 1024 * 1024;

struct TFileCloser {
    void operator()(std::FILE* f) const { (void)std::fclose(f); }
};
using TFileHandle = std::unique_ptr<std::FILE, TFileCloser>;

bool IsUrlByte(unsigned char c) {
    return c > 0x20 && c < 0x7F;
}

bool IsHostByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

// ---------------------------------------------------------------------------------------
// The request

const char* AcceptOf(TPostVariant variant) {
    return variant == TPostVariant::F ? "text/html, */*"
                                      : "image/gif, image/jpeg, image/pjpeg, image/pjpeg, "
                                        "application/x-shockwave-flash, */*";
}

std::string PartHead(const std::string& boundary, const std::string& filePath,
                     const std::string& partContentType) {
    std::string s;
    s += "--" + boundary + CRLF;
    s += "Content-Disposition: form-data; name=\"file\"; filename=\"" + filePath + "\"" + CRLF;
    s += "Content-Type: " + partContentType + CRLF;
    s += std::string("Content-Transfer-Encoding: binary") + CRLF;
    s += CRLF;
    return s;
}

std::string PartTail(const std::string& boundary) {
    return std::string(CRLF) + "--" + boundary + "--" + CRLF;
}

std::string RequestHead(const TParsedUrl& url, const std::string& boundary,
                        std::uint64_t contentLength, TPostVariant variant,
                        const TPostCredentials& credentials) {
    std::string s = "POST " + url.Target + " HTTP/1.0" + CRLF;
    auto header = [&s](const std::string& name, const std::string& value) {
        s += name + ": " + value + CRLF;
    };
    header("Connection", "keep-alive");
    header("Content-Type", "multipart/form-data; boundary=" + boundary);
    header("Content-Length", std::to_string(contentLength));
    header("Host", url.Port == 80 ? url.Host : url.Host + ":" + std::to_string(url.Port));
    header("Accept", AcceptOf(variant));
    if (variant != TPostVariant::F) {
        header("Accept-Encoding", "gzip,deflate");
    }
    header("User-Agent", "Mozilla/3.0 (compatible; Indy Library)");
    if (variant == TPostVariant::H) {
        header("Authorization",
               "Basic " + EncodeBase64Line(credentials.User + ":" + credentials.Password));
    }
    s += CRLF;
    return s;
}

// ---------------------------------------------------------------------------------------
// The reply

using TDeadline = platform::TTcpStream::TDeadline;

// PostFirmwareTimeoutMs from now, in real time (shortened by the sleeper in tests).
TDeadline DeadlineFromNow() {
    return std::chrono::steady_clock::now() +
           std::chrono::milliseconds(platform::TimeoutMs(PostFirmwareTimeoutMs));
}

// Reads one HTTP reply from the stream: status line (interim 1xx replies skipped), header
// block and body (by Content-Length, chunked, or until the camera closes), each bounded in
// size, and all of it by one deadline: a camera that trickles its reply a byte at a time
// still ends the read when the deadline passes.
class TReplyReader {
public:
    TReplyReader(platform::TTcpStream& stream, TDeadline deadline)
        : FStream(stream), FDeadline(deadline) {}

    // True when a whole reply came. StatusLine is set as soon as a status line came, even
    // when the rest of the reply failed.
    [[nodiscard]] bool Read() {
        for (;;) {
            std::string line;
            if (!ReadLine(line, MaxReplyHeaderBytes)) {
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

    [[nodiscard]] int Status() const { return FStatus; }
    [[nodiscard]] const std::string& StatusLine() const { return FStatusLine; }
    [[nodiscard]] const std::string& ErrorText() const { return FError; }

private:
    bool Fill() {
        char buffer[16 * 1024];
        const long n = FStream.ReadSome(buffer, sizeof(buffer), PostFirmwareTimeoutMs, FDeadline);
        if (n > 0) {
            FBuffer.append(buffer, static_cast<std::size_t>(n));
            return true;
        }
        FClosed = n == 0;
        FError = n == 0 ? "Connection closed before the reply was complete" : FStream.ErrorText();
        return false;
    }

    // One line without its line end (CR LF, or a bare LF).
    bool ReadLine(std::string& line, std::size_t maxBytes) {
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

    bool ParseStatus(const std::string& line) {
        // HTTP/x.y SP 3DIGIT [SP reason]
        const auto blank = line.find(' ');
        if (!platform::StartsWith(line, "HTTP/") || blank == std::string::npos ||
            line.size() < blank + 4) {
            FError = "The camera's reply is not HTTP: " + line.substr(0, 80);
            return false;
        }
        int status = 0;
        for (std::size_t i = blank + 1; i < blank + 4; ++i) {
            if (line[i] < '0' || line[i] > '9') {
                FError = "The camera's reply is not HTTP: " + line.substr(0, 80);
                return false;
            }
            status = status * 10 + (line[i] - '0');
        }
        FStatus = status;
        FStatusLine = line;
        return true;
    }

    bool ReadHeaders(std::vector<std::string>& headers) {
        for (;;) {
            std::string line;
            if (!ReadLine(line, MaxReplyHeaderBytes)) {
                return false;
            }
            if (line.empty()) {
                return true;
            }
            headers.push_back(std::move(line));
        }
    }

    static std::string HeaderValue(const std::vector<std::string>& headers, std::string_view name) {
        for (const auto& h : headers) {
            const auto colon = h.find(':');
            if (colon != std::string::npos &&
                platform::CompareTextAscii(platform::Trim(h.substr(0, colon)), name) == 0) {
                return platform::Trim(h.substr(colon + 1));
            }
        }
        return {};
    }

    bool ReadBody(const std::vector<std::string>& headers) {
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
        while (FBody + FBuffer.size() < MaxReplyBodyBytes) {
            FBody += FBuffer.size();
            FBuffer.clear();
            if (!Fill()) {
                return FClosed;
            }
        }
        return true; // enough of a body that is not looked at anyway
    }

    // Consumes count body bytes (up to the cap; a longer body is not waited for).
    bool Skip(std::uint64_t count) {
        for (;;) {
            const std::size_t take =
                static_cast<std::size_t>(std::min<std::uint64_t>(count, FBuffer.size()));
            FBuffer.erase(0, take);
            count -= take;
            FBody += take;
            if (count == 0 || FBody >= MaxReplyBodyBytes) {
                return true;
            }
            if (!Fill()) {
                return false;
            }
        }
    }

    bool ReadChunked() {
        for (;;) {
            std::string line;
            FHeaderBytes = 0;
            if (!ReadLine(line, 1024)) {
                return false;
            }
            const auto end = line.find_first_of("; \t");
            const std::string hex = line.substr(0, end);
            std::uint64_t size = 0;
            if (hex.empty() || hex.size() > 15) {
                FError = "The reply's chunked body is malformed";
                return false;
            }
            for (const char c : hex) {
                int digit = -1;
                if (c >= '0' && c <= '9') {
                    digit = c - '0';
                } else if (c >= 'a' && c <= 'f') {
                    digit = c - 'a' + 10;
                } else if (c >= 'A' && c <= 'F') {
                    digit = c - 'A' + 10;
                }
                if (digit < 0) {
                    FError = "The reply's chunked body is malformed";
                    return false;
                }
                size = size * 16 + static_cast<std::uint64_t>(digit);
            }
            if (size == 0) {
                // Trailer lines up to the empty line.
                FHeaderBytes = 0;
                for (;;) {
                    if (!ReadLine(line, MaxReplyHeaderBytes)) {
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
            if (FBody >= MaxReplyBodyBytes) {
                return true;
            }
            FHeaderBytes = 0;
            if (!ReadLine(line, 1024)) { // the CR LF after the chunk
                return false;
            }
        }
    }

    platform::TTcpStream& FStream;
    TDeadline FDeadline;
    std::string FBuffer;
    std::size_t FHeaderBytes = 0;
    std::uint64_t FBody = 0;
    bool FClosed = false;
    int FStatus = 0;
    std::string FStatusLine;
    std::string FError;
};

TPostResult Failed(std::string text) {
    TPostResult r;
    r.ErrorText = std::move(text);
    return r;
}

// The outcome of a reply that was read (or began to be read).
// A final status outside 2xx; an interim reply (1xx) that never ended tells nothing about
// the upload.
bool Refused(const TReplyReader& reply) {
    const int status = reply.Status();
    return !reply.StatusLine().empty() && (status < 100 || status > 299);
}

TPostResult Decide(const TReplyReader& reply, bool complete) {
    if (Refused(reply)) {
        return Failed(reply.StatusLine()); // the status tells more than what broke after it
    }
    if (!complete) {
        return Failed(reply.ErrorText());
    }
    TPostResult r;
    r.Completed = true;
    return r;
}

} // namespace

// ---------------------------------------------------------------------------------------

TLocalTime CurrentLocalTime() {
    const auto now = std::chrono::system_clock::now();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm parts{};
    (void)localtime_r(&seconds, &parts);
    TLocalTime t;
    t.Year = parts.tm_year + 1900;
    t.Month = parts.tm_mon + 1;
    t.Day = parts.tm_mday;
    t.Hour = parts.tm_hour;
    t.Minute = parts.tm_min;
    t.Second = parts.tm_sec;
    t.Millisecond = static_cast<int>(ms.count());
    return t;
}

std::string MakeBoundary(const TLocalTime& t) {
    char digits[32];
    std::snprintf(digits, sizeof(digits), "%02d%02d%02d%02d%02d%02d%03d", t.Month % 100,
                  t.Day % 100, t.Year % 100, t.Hour % 100, t.Minute % 100, t.Second % 100,
                  t.Millisecond % 1000);
    return std::string("--------") + digits;
}

bool ParseUploadUrl(const std::string& url, TParsedUrl& out, std::string& error) {
    out = TParsedUrl{};
    const std::string scheme = "http://";
    if (url.size() < scheme.size() ||
        platform::CompareTextAscii(url.substr(0, scheme.size()), scheme) != 0) {
        error = "Not an http:// address: " + url;
        return false;
    }
    for (const char c : url) {
        if (!IsUrlByte(static_cast<unsigned char>(c))) {
            error = "The address contains blanks or control characters: " + url;
            return false;
        }
    }
    const std::size_t hostStart = scheme.size();
    std::size_t hostEnd = url.find_first_of(":/?", hostStart);
    if (hostEnd == std::string::npos) {
        hostEnd = url.size();
    }
    out.Host = url.substr(hostStart, hostEnd - hostStart);
    if (out.Host.empty()) {
        error = "The address names no host: " + url;
        return false;
    }
    for (const char c : out.Host) {
        if (!IsHostByte(static_cast<unsigned char>(c))) {
            error = "The address has an invalid host: " + url;
            return false;
        }
    }
    std::size_t rest = hostEnd;
    if (rest < url.size() && url[rest] == ':') {
        const std::size_t portStart = rest + 1;
        std::size_t portEnd = url.find_first_of("/?", portStart);
        if (portEnd == std::string::npos) {
            portEnd = url.size();
        }
        const std::string portText = url.substr(portStart, portEnd - portStart);
        long port = 0;
        bool valid = !portText.empty() && portText.size() <= 5;
        for (const char c : portText) {
            valid = valid && c >= '0' && c <= '9';
            port = port * 10 + (c - '0');
        }
        if (!valid || port < 1 || port > 65535) {
            error = "The address has an invalid port: " + url;
            return false;
        }
        out.Port = static_cast<std::uint16_t>(port);
        rest = portEnd;
    }
    out.Target = url.substr(rest);
    if (out.Target.empty() || out.Target[0] != '/') {
        out.Target.insert(0, "/");
    }
    return true;
}

bool ReadFirmwareSignature(const std::string& filePath, std::string& bytes) {
    bytes.clear();
    errno = 0;
    TFileHandle file(std::fopen(filePath.c_str(), "rb"));
    if (!file) {
        throw TFirmwareFileError("Cannot open " + filePath + ": " + platform::ErrnoText(errno));
    }
    char head[4];
    const std::size_t got = std::fread(head, 1, sizeof(head), file.get());
    if (got < sizeof(head)) {
        return false;
    }
    bytes.assign(head, sizeof(head));
    return true;
}

TPostResult PostFirmware(const std::string& url, const std::string& filePath,
                         const std::string& partContentType, TPostVariant variant,
                         const TPostCredentials& credentials, const TLocalClock& clock) {
    TParsedUrl target;
    std::string urlError;
    if (!ParseUploadUrl(url, target, urlError)) {
        return Failed(urlError);
    }
    // A file name with a quote or a line break would end the form part's header early.
    for (const char c : filePath) {
        if (c == '"' || c == '\r' || c == '\n') {
            return Failed("The firmware file name cannot be sent: " + filePath);
        }
    }

    // The file is opened (and its size taken) before the camera is contacted: a file that
    // cannot be opened raises, and nothing has been sent.
    errno = 0;
    TFileHandle file(std::fopen(filePath.c_str(), "rb"));
    if (!file) {
        throw TFirmwareFileError("Cannot open " + filePath + ": " + platform::ErrnoText(errno));
    }
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
        throw TFirmwareFileError("Cannot read " + filePath + ": " + platform::ErrnoText(errno));
    }
    const long endOffset = std::ftell(file.get());
    if (endOffset < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) {
        throw TFirmwareFileError("Cannot read " + filePath + ": " + platform::ErrnoText(errno));
    }
    const auto fileSize = static_cast<std::uint64_t>(endOffset);

    const std::string boundary = MakeBoundary(clock ? clock() : CurrentLocalTime());
    const std::string head = PartHead(boundary, filePath, partContentType);
    const std::string tail = PartTail(boundary);
    const std::uint64_t contentLength = head.size() + fileSize + tail.size();

    platform::TTcpStream stream;
    if (!stream.Connect(target.Host, target.Port, PostFirmwareTimeoutMs)) {
        return Failed(stream.ErrorText());
    }

    // Sends the request; false with sendError when it could not go out whole.
    std::string fileError;
    const bool sent = [&] {
        const std::string request =
            RequestHead(target, boundary, contentLength, variant, credentials) + head;
        if (!stream.SendAll(request.data(), request.size(), PostFirmwareTimeoutMs,
                            DeadlineFromNow())) {
            return false;
        }
        std::vector<char> block(FileBlockBytes);
        std::uint64_t left = fileSize;
        while (left > 0) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
            const std::size_t got = std::fread(block.data(), 1, want, file.get());
            if (got == 0) {
                // Never send fewer bytes than announced as if the upload were whole.
                fileError = std::ferror(file.get())
                                ? "Cannot read " + filePath + ": " + platform::ErrnoText(errno)
                                : "The firmware file became shorter while it was sent";
                return false;
            }
            if (!stream.SendAll(block.data(), got, PostFirmwareTimeoutMs, DeadlineFromNow())) {
                return false;
            }
            left -= got;
        }
        return stream.SendAll(tail.data(), tail.size(), PostFirmwareTimeoutMs, DeadlineFromNow());
    }();
    if (!sent) {
        file.reset();
        if (!fileError.empty()) {
            stream.Close();
            return Failed(fileError);
        }
        const std::string sendError = stream.ErrorText();
        if (!stream.TimedOut()) {
            // A camera may refuse early (401, 500) and close without taking the rest; its
            // status line is the better reason.
            TReplyReader early(stream, DeadlineFromNow());
            const bool complete = early.Read();
            (void)complete;
            if (Refused(early)) {
                stream.Close();
                return Failed(early.StatusLine());
            }
        }
        stream.Close();
        return Failed(sendError);
    }
    file.reset();

    // The whole reply, however it trickles in, within PostFirmwareTimeoutMs of the body
    // having gone out.
    TReplyReader reply(stream, DeadlineFromNow());
    const bool complete = reply.Read();
    stream.Close();
    return Decide(reply, complete);
}

} // namespace torvane
