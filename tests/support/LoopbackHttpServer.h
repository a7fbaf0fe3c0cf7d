#pragma once
// An in-process HTTP/1.x server on 127.0.0.1 (ephemeral port) for the tests: one thread
// accepts, one thread per connection answers. Each connection carries one request and is
// closed after the reply ("Connection: close"). Every request is recorded as it came on
// the wire. Replies are chosen by the request target: first a route registered for the
// exact target (path and query, "/a.cgi?x=1"), then one for the path alone ("/a.cgi"),
// then the default reply (404 Not Found).
//
//     TLoopbackHttpServer server;
//     server.Handle("/oem.txt", THttpReply::Ok("oem=ACME"));
//     server.Handle("/big", THttpReply::Ok(std::string(600000, 'x')));
//     server.Handle("/slow", THttpReply::Stall("partial body", 4, 3000));
//     server.Handle("/drip", THttpReply::Trickle(20));      // one byte every 20 ms, for ever
//     auto r = platform::HttpFetch(server.Url("/oem.txt"), {}, "MyIP", 1000, 512000);
//     EXPECT_EQ(server.Requests().at(0).Header("Pragma"), "no-cache");
//
// Request bodies are read by Content-Length (chunked request bodies are not decoded; what
// follows the headers is then recorded as far as it came with the request). Every wait of
// the server is bounded and ends at once when the server is destroyed.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace torvane::test {

struct THttpHeader {
    std::string Name;
    std::string Value;
};

struct TRecordedHttpRequest {
    std::string Raw;                  // every byte that came on the connection, in order
    std::string RequestLine;          // "GET /x?y=1 HTTP/1.1" (without CR LF)
    std::string Method;               // "GET"
    std::string Target;               // "/x?y=1" (first to last blank)
    std::string Path;                 // "/x"
    std::string Query;                // "y=1" (without "?")
    std::string Version;              // "HTTP/1.1"
    std::vector<THttpHeader> Headers; // in the order sent, values trimmed
    std::string HeaderBlock; // the raw header lines after the request line, with their CR LF
    std::string Body;        // Content-Length bytes (fewer when the client stopped early)
    bool Complete = false;   // the request line, headers and whole body came

    // The first header of that name (ASCII case-insensitive); empty when missing.
    [[nodiscard]] std::string Header(std::string_view name) const;
    [[nodiscard]] bool HasHeader(std::string_view name) const;
    // The names of the headers in the order sent.
    [[nodiscard]] std::vector<std::string> HeaderNames() const;
    // The query's parameters as a camera's CGI reads them: split at "&", the name before
    // the first "=", "%XX" decoded in names and values, in the order sent.
    [[nodiscard]] std::vector<std::pair<std::string, std::string>> QueryParameters() const;
    // The value of the first parameter of that name; none when there is none.
    [[nodiscard]] std::optional<std::string> QueryValue(std::string_view name) const;
};

struct THttpReply {
    int Status = 200;
    std::string Reason = "OK";
    std::string Version = "HTTP/1.1";
    std::vector<THttpHeader> Headers; // sent in this order, after the status line
    std::string Body;
    // "Content-Length: <n>" is added unless Headers name one or AddContentLength is false;
    // n is DeclaredLength when set (>= 0), else the body's size.
    bool AddContentLength = true;
    long long DeclaredLength = -1;
    // An interim "HTTP/1.1 100 Continue" CR LF CR LF before the final reply.
    bool Interim100 = false;
    // Waits this long (real time) after reading the request, before answering.
    int DelayMs = 0;
    // How much of the body to send; the rest is held back. -1: all of it.
    long long SendBodyBytes = -1;
    // After what was sent: keep the connection open, sending nothing, for HoldMs (ends early
    // when the client closes or the server stops), then close. 0: close at once.
    int HoldMs = 0;
    // Send nothing at all (accept, read the request, hold HoldMs, close).
    bool Silent = false;
    // When not empty: these bytes go out as they are instead of the reply built above.
    std::string Raw;
    // After everything above went out: one more byte ("."), every DripMs (real time),
    // for DripForMs; a camera that keeps its reply coming without ever finishing it.
    // Ends early when the client closes (see TricklesCutShort). 0: no drip.
    int DripMs = 0;
    int DripForMs = 0;
    // Pacing (real time): when > 0, what is sent goes out TrickleBytes at a time, one piece
    // every TrickleMs, head included.
    int TrickleMs = 0;
    std::size_t TrickleBytes = 1;
    // After the body, EndlessChunk is sent again and again (paced as above, or as fast as
    // the client reads) until the client goes away or the server stops: a reply that never
    // ends. Use it with AddContentLength = false.
    bool Endless = false;
    std::string EndlessChunk = "x";
    // A safety net, not part of the peer: the connection closes after this many endless
    // bytes, so a client without a cap of its own cannot fill the disk.
    std::uint64_t EndlessSafetyBytes = std::uint64_t{64} << 20;

    THttpReply& WithHeader(std::string name, std::string value);

    static THttpReply Ok(std::string body, std::string contentType = "text/html");
    static THttpReply WithStatus(int status, std::string reason, std::string body = {},
                                 std::string contentType = "text/html");
    // 302 (or the given status) with a Location header and a short page.
    static THttpReply Redirect(std::string location, int status = 302);
    // 401 with a Basic challenge and the page.
    static THttpReply Unauthorized(std::string page, const std::string& realm = "IPCamera");
    // 200 announcing the whole body, sending its first sendBytes, then silent for holdMs.
    static THttpReply Stall(std::string body, std::size_t sendBytes, int holdMs);
    // 200 announcing the whole body, sending its first sendBytes, then closing.
    static THttpReply CloseEarly(std::string body, std::size_t sendBytes);
    // Reads the request, answers nothing, closes after holdMs.
    static THttpReply NeverAnswer(int holdMs);
    // A status line "200 OK" and a header line that never ends: one byte every everyMs
    // for forMs, then the close.
    static THttpReply Drip(int everyMs, int forMs);
    // 200 without Content-Length whose head and then body ("A" after "A") come one byte
    // every everyMs, without end: every byte keeps an idle time-out alive.
    static THttpReply Trickle(int everyMs);
    // 200 without Content-Length, chunk after chunk as fast as the client takes them, without
    // end (the endless catalogue).
    static THttpReply EndlessBody(std::string chunk, std::string contentType = "text/plain");
    // 200 without Content-Length: the first half of the body, then the connection closes, so
    // the client cannot tell that anything is missing.
    static THttpReply CloseHalfwayUnannounced(const std::string& body);
};

using THttpHandler = std::function<THttpReply(const TRecordedHttpRequest&)>;

class TLoopbackHttpServer {
public:
    // Listens on 127.0.0.1 at an ephemeral port and starts serving; throws
    // std::runtime_error when it cannot listen.
    TLoopbackHttpServer();
    TLoopbackHttpServer(const TLoopbackHttpServer&) = delete;
    TLoopbackHttpServer& operator=(const TLoopbackHttpServer&) = delete;
    // Stops accepting, ends every connection (holds included) and joins the threads.
    ~TLoopbackHttpServer();

    // Routes: target is a path ("/a.cgi") or a path with its query ("/a.cgi?x=1").
    void Handle(const std::string& target, THttpReply reply);
    void Handle(const std::string& target, THttpHandler handler);
    void SetDefaultReply(THttpReply reply);

    [[nodiscard]] std::uint16_t Port() const { return FPort; }
    [[nodiscard]] std::string Host() const { return "127.0.0.1"; }
    // "http://127.0.0.1:<port>"
    [[nodiscard]] std::string BaseUrl() const;
    // BaseUrl() + target ("/x?y=1")
    [[nodiscard]] std::string Url(std::string_view target) const;

    // Requests in the order they were read completely (or given up).
    [[nodiscard]] std::vector<TRecordedHttpRequest> Requests() const;
    [[nodiscard]] std::size_t RequestCount() const;
    // Waits (real time) until at least n requests were recorded.
    bool WaitForRequests(std::size_t n, int timeoutMs) const;
    void ClearRequests();
    // Connections accepted so far.
    [[nodiscard]] std::size_t ConnectionCount() const;
    // Dripping replies (THttpReply::DripMs) that ended because the client closed while
    // bytes were still coming.
    [[nodiscard]] std::size_t TricklesCutShort() const;
    // Waits (real time) until at least n trickles were cut short.
    bool WaitForTricklesCutShort(std::size_t n, int timeoutMs) const;

    // Bounds of one request: the header block and the body (bytes); the time a request may
    // take to arrive.
    std::size_t MaxHeaderBytes = 1 << 20;
    std::size_t MaxBodyBytes = 512u << 20;
    int RequestTimeoutMs = 10000;

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
    std::uint16_t FPort = 0;
};

} // namespace torvane::test
