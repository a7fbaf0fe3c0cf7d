#include "series/PostFirmware.h"

#include "platform/Sleeper.h"
#include "platform/Socket.h"
#include "series/HttpReply.h"
#include "upgrade/Progress.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace torvane {

namespace {

// The file goes out in blocks; each block must be taken within PostFirmwareTimeoutMs, so a
// camera that reads a byte now and then (about 1 KiB/s or less) cannot hold the upload.
constexpr std::size_t FileBlockBytes = 64 * 1024;

struct TFileCloser {
    void operator()(std::FILE* f) const { (void)std::fclose(f); }
};
using TFileHandle = std::unique_ptr<std::FILE, TFileCloser>;

// PostFirmwareTimeoutMs from now, in real time (shortened by the sleeper in tests).
platform::TDeadline DeadlineFromNow() {
    return std::chrono::steady_clock::now() +
           std::chrono::milliseconds(platform::TimeoutMs(PostFirmwareTimeoutMs));
}

TPostResult Failed(std::string text) {
    TPostResult r;
    r.ErrorText = std::move(text);
    return r;
}

// The outcome of a reply that was read (or began to be read).
TPostResult Decide(const THttpReplyReader& reply, bool complete) {
    if (reply.Refused()) {
        return Failed(reply.StatusLine()); // the status tells more than what broke after it
    }
    if (!complete) {
        return Failed(reply.ErrorText());
    }
    TPostResult r;
    r.Completed = true;
    return r;
}

[[noreturn]] void ThrowFileError(const char* what, const std::string& filePath) {
    throw TFirmwareFileError(std::string(what) + " " + filePath + ": " +
                             platform::ErrnoText(errno));
}

} // namespace

bool ReadFirmwareSignature(const std::string& filePath, std::string& bytes) {
    bytes.clear();
    errno = 0;
    TFileHandle file(std::fopen(filePath.c_str(), "rb"));
    if (!file) {
        ThrowFileError("Cannot open", filePath);
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
        ThrowFileError("Cannot open", filePath);
    }
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
        ThrowFileError("Cannot read", filePath);
    }
    const long endOffset = std::ftell(file.get());
    if (endOffset < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) {
        ThrowFileError("Cannot read", filePath);
    }
    const auto fileSize = static_cast<std::uint64_t>(endOffset);

    const std::string boundary = MakeBoundary(clock ? clock() : CurrentLocalTime());
    const std::string head = upload::PartHead(boundary, filePath, partContentType);
    const std::string tail = upload::PartTail(boundary);
    const std::uint64_t contentLength = head.size() + fileSize + tail.size();

    platform::TTcpStream stream;
    const platform::TSocketStatus connected =
        stream.Connect(target.Host, target.Port, PostFirmwareTimeoutMs);
    if (!connected) {
        return Failed(connected.ErrorText());
    }

    // Sends the request; the failed send's result, or the file's error in fileError.
    std::string fileError;
    const platform::TSocketResult sent = [&]() -> platform::TSocketResult {
        const std::string request =
            upload::RequestHead(target, boundary, contentLength, variant, credentials) + head;
        platform::TSocketResult r = stream.SendAll(request.data(), request.size(),
                                                   PostFirmwareTimeoutMs, DeadlineFromNow());
        if (!r.Ok()) {
            return r;
        }
        std::vector<char> block(FileBlockBytes);
        std::uint64_t left = fileSize;
        ReportProgress(EUpgradePhase::Upload, 0, fileSize);
        while (left > 0) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
            const std::size_t got = std::fread(block.data(), 1, want, file.get());
            if (got == 0) {
                // Never send fewer bytes than announced as if the upload were whole.
                fileError = std::ferror(file.get())
                                ? "Cannot read " + filePath + ": " + platform::ErrnoText(errno)
                                : "The firmware file became shorter while it was sent";
                return platform::TSocketResult::Failed(EIO);
            }
            r = stream.SendAll(block.data(), got, PostFirmwareTimeoutMs, DeadlineFromNow());
            if (!r.Ok()) {
                return r;
            }
            left -= got;
            ReportProgress(EUpgradePhase::Upload, fileSize - left, fileSize);
        }
        return stream.SendAll(tail.data(), tail.size(), PostFirmwareTimeoutMs, DeadlineFromNow());
    }();
    if (!sent.Ok()) {
        file.reset();
        if (!fileError.empty()) {
            stream.Close();
            return Failed(fileError);
        }
        if (!sent.TimedOut()) {
            // A camera may refuse early (401, 500) and close without taking the rest; its
            // status line is the better reason.
            THttpReplyReader early(stream, PostFirmwareTimeoutMs, DeadlineFromNow());
            (void)early.Read();
            if (early.Refused()) {
                stream.Close();
                return Failed(early.StatusLine());
            }
        }
        stream.Close();
        return Failed(sent.ErrorText());
    }
    file.reset();

    // The whole reply, however it trickles in, within PostFirmwareTimeoutMs of the body
    // having gone out.
    THttpReplyReader reply(stream, PostFirmwareTimeoutMs, DeadlineFromNow());
    const bool complete = reply.Read();
    stream.Close();
    return Decide(reply, complete);
}

} // namespace torvane
