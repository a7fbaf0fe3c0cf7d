#pragma once
// Reads the camera's HTTP reply to the firmware upload from the upload's own connection:
// status line (interim 1xx replies skipped), header block and body (by Content-Length,
// chunked, or until the camera closes). The body is drained, not kept. Every part is
// bounded in size, and all of it by one deadline: a camera that trickles its reply a byte
// at a time still ends the read when the deadline passes.

#include "platform/Socket.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace torvane {

class THttpReplyReader {
public:
    // The reply is drained, not examined: its header block and body are bounded so that a
    // camera that talks without end cannot hold the upload.
    static constexpr std::size_t MaxHeaderBytes = 64 * 1024;
    static constexpr std::size_t MaxBodyBytes = 1024 * 1024;

    // readTimeoutMs bounds each wait for more bytes (through the sleeper's TimeoutMs);
    // deadline (real time) the whole reply.
    THttpReplyReader(platform::TTcpStream& stream, int readTimeoutMs, platform::TDeadline deadline)
        : FStream(stream), FReadTimeoutMs(readTimeoutMs), FDeadline(deadline) {}

    // True when a whole reply came. StatusLine is set as soon as a status line came, even
    // when the rest of the reply failed.
    [[nodiscard]] bool Read();

    [[nodiscard]] int Status() const { return FStatus; }
    [[nodiscard]] const std::string& StatusLine() const { return FStatusLine; }
    // Why the reply is not whole: a network error, "Connection closed before the reply was
    // complete", or what was wrong with it.
    [[nodiscard]] const std::string& ErrorText() const { return FError; }
    // A final status outside 2xx came; an interim reply (1xx) that never ended tells
    // nothing.
    [[nodiscard]] bool Refused() const;

private:
    [[nodiscard]] bool Fill();
    [[nodiscard]] bool ReadLine(std::string& line, std::size_t maxBytes);
    [[nodiscard]] bool ParseStatus(const std::string& line);
    [[nodiscard]] bool ReadHeaders(std::vector<std::string>& headers);
    [[nodiscard]] bool ReadBody(const std::vector<std::string>& headers);
    [[nodiscard]] bool Skip(std::uint64_t count);
    [[nodiscard]] bool ReadChunked();

    platform::TTcpStream& FStream;
    int FReadTimeoutMs;
    platform::TDeadline FDeadline;
    std::string FBuffer;
    std::size_t FHeaderBytes = 0;
    std::uint64_t FBody = 0;
    bool FClosed = false;
    int FStatus = 0;
    std::string FStatusLine;
    std::string FError;
};

} // namespace torvane
