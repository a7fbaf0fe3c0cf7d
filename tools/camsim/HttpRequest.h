#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace camsim {

struct THttpRequest {
    std::string Method;
    std::string Target;  // as sent: path and query
    std::string Path;    // Target up to "?"
    std::string Query;   // after "?", without it
    std::string Version; // "HTTP/1.0" or "HTTP/1.1"
    std::vector<std::pair<std::string, std::string>> Headers; // in order, values trimmed
    std::string Body;

    // First header of that name (names compared without regard to case).
    [[nodiscard]] std::optional<std::string> Header(std::string_view name) const;
    // Value of a query parameter, split naively at "&" and the first "=" the way a camera's
    // CGI does it: no percent-decoding.
    [[nodiscard]] std::optional<std::string> QueryValue(std::string_view name) const;
    // The same as a camera's CGI reads it: "%XX" decoded ("+" is left alone).
    [[nodiscard]] std::optional<std::string> DecodedQueryValue(std::string_view name) const;
};

// Reads one request from the bytes of a connection as they arrive: the request line, the
// header lines up to the empty line, then exactly Content-Length bytes of body.
class THttpRequestParser {
public:
    enum class EState { NeedMore, Complete, Failed };

    static constexpr std::size_t MaxHeaderBytes = 32 * 1024;
    static constexpr std::size_t MaxBodyBytes = 256 * 1024 * 1024;

    // Adds bytes; returns the new state. Bytes past the end of a complete request are kept
    // (see ExtraBytes).
    EState Feed(std::string_view bytes);
    // The peer closed its sending side: a request still incomplete fails.
    EState EndOfInput();

    [[nodiscard]] EState State() const { return FState; }
    [[nodiscard]] bool HeadersDone() const { return FHeadersDone; }
    // True once, right after the headers of a request that asks "Expect: 100-continue".
    [[nodiscard]] bool TakeContinueWanted();
    [[nodiscard]] const THttpRequest& Request() const { return FRequest; }
    [[nodiscard]] std::size_t ExtraBytes() const { return FExtra; }
    // For Failed: the status to answer and why.
    [[nodiscard]] int FailStatus() const { return FFailStatus; }
    [[nodiscard]] const std::string& FailReason() const { return FFailReason; }

private:
    EState Fail(int status, std::string reason);
    EState ParseHead(std::string_view head);
    EState TakeBody();

    std::string FBuffer;
    THttpRequest FRequest;
    EState FState = EState::NeedMore;
    bool FHeadersDone = false;
    bool FContinueWanted = false;
    std::size_t FContentLength = 0;
    std::size_t FExtra = 0;
    int FFailStatus = 0;
    std::string FFailReason;
};

} // namespace camsim
