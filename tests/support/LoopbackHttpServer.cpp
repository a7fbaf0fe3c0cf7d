#include "support/LoopbackHttpServer.h"

#include "platform/Socket.h"
#include "support/LoopbackIo.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <condition_variable>
#include <stdexcept>

namespace torvane::test {

using detail::DeadlineIn;
using detail::TIoResult;

namespace {

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return true;
}

std::string TrimSpaces(std::string_view s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) {
        ++b;
    }
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) {
        --e;
    }
    return std::string(s.substr(b, e - b));
}

// Fills the parsed fields from the header block (request line and header lines).
void ParseHead(std::string_view head, TRecordedHttpRequest& r) {
    std::size_t eol = head.find("\r\n");
    r.RequestLine = std::string(head.substr(0, eol));
    // The target is everything between the first and the last blank: camera requests carry
    // account and password unescaped, blanks included.
    const std::size_t a = r.RequestLine.find(' ');
    std::size_t b = r.RequestLine.rfind(' ');
    if (b == a) {
        b = std::string::npos;
    }
    if (a != std::string::npos) {
        r.Method = r.RequestLine.substr(0, a);
        r.Target = r.RequestLine.substr(a + 1, b == std::string::npos ? b : b - a - 1);
        if (b != std::string::npos) {
            r.Version = r.RequestLine.substr(b + 1);
        }
    }
    const std::size_t q = r.Target.find('?');
    r.Path = r.Target.substr(0, q);
    r.Query = q == std::string::npos ? std::string() : r.Target.substr(q + 1);
    if (eol == std::string_view::npos) {
        return;
    }
    r.HeaderBlock = std::string(head.substr(eol + 2));
    std::size_t pos = eol + 2;
    while (pos < head.size()) {
        std::size_t end = head.find("\r\n", pos);
        if (end == std::string_view::npos) {
            end = head.size();
        }
        const std::string_view line = head.substr(pos, end - pos);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos) {
            r.Headers.push_back(
                {TrimSpaces(line.substr(0, colon)), TrimSpaces(line.substr(colon + 1))});
        }
        pos = end + 2;
    }
}

bool HasHeaderNamed(const std::vector<THttpHeader>& headers, std::string_view name) {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const THttpHeader& h) { return SameText(h.Name, name); });
}

} // namespace

// ---- TRecordedHttpRequest ----------------------------------------------------------------

std::string TRecordedHttpRequest::Header(std::string_view name) const {
    for (const THttpHeader& h : Headers) {
        if (SameText(h.Name, name)) {
            return h.Value;
        }
    }
    return {};
}

bool TRecordedHttpRequest::HasHeader(std::string_view name) const {
    return HasHeaderNamed(Headers, name);
}

std::vector<std::string> TRecordedHttpRequest::HeaderNames() const {
    std::vector<std::string> names;
    for (const THttpHeader& h : Headers) {
        names.push_back(h.Name);
    }
    return names;
}

namespace {

std::string PercentDecoded(std::string_view text) {
    const auto hex = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 &&
            hex(text[i + 2]) >= 0) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::vector<std::pair<std::string, std::string>> TRecordedHttpRequest::QueryParameters() const {
    std::vector<std::pair<std::string, std::string>> parameters;
    if (Query.empty()) {
        return parameters;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(Query.find('&', start), Query.size());
        const std::string_view pair = std::string_view(Query).substr(start, end - start);
        const std::size_t equals = pair.find('=');
        parameters.emplace_back(PercentDecoded(pair.substr(0, equals)),
                                equals == std::string_view::npos
                                    ? std::string()
                                    : PercentDecoded(pair.substr(equals + 1)));
        if (end == Query.size()) {
            return parameters;
        }
        start = end + 1;
    }
}

std::optional<std::string> TRecordedHttpRequest::QueryValue(std::string_view name) const {
    for (auto& [key, value] : QueryParameters()) {
        if (key == name) {
            return value;
        }
    }
    return std::nullopt;
}

// ---- THttpReply ---------------------------------------------------------------------------

THttpReply& THttpReply::WithHeader(std::string name, std::string value) {
    Headers.push_back({std::move(name), std::move(value)});
    return *this;
}

THttpReply THttpReply::Ok(std::string body, std::string contentType) {
    return WithStatus(200, "OK", std::move(body), std::move(contentType));
}

THttpReply THttpReply::WithStatus(int status, std::string reason, std::string body,
                                  std::string contentType) {
    THttpReply r;
    r.Status = status;
    r.Reason = std::move(reason);
    r.Body = std::move(body);
    r.Headers.push_back({"Content-Type", std::move(contentType)});
    return r;
}

THttpReply THttpReply::Redirect(std::string location, int status) {
    THttpReply r = WithStatus(status, status == 301 ? "Moved Permanently" : "Found",
                              "<html><body>moved</body></html>");
    r.Headers.push_back({"Location", std::move(location)});
    return r;
}

THttpReply THttpReply::Unauthorized(std::string page, const std::string& realm) {
    THttpReply r = WithStatus(401, "Unauthorized", std::move(page));
    r.Headers.push_back({"WWW-Authenticate", "Basic realm=\"" + realm + "\""});
    return r;
}

THttpReply THttpReply::Stall(std::string body, std::size_t sendBytes, int holdMs) {
    THttpReply r = Ok(std::move(body), "application/octet-stream");
    r.SendBodyBytes = static_cast<long long>(sendBytes);
    r.HoldMs = holdMs;
    return r;
}

THttpReply THttpReply::CloseEarly(std::string body, std::size_t sendBytes) {
    THttpReply r = Ok(std::move(body), "application/octet-stream");
    r.SendBodyBytes = static_cast<long long>(sendBytes);
    r.HoldMs = 0;
    return r;
}

THttpReply THttpReply::Drip(int everyMs, int forMs) {
    THttpReply r;
    r.Raw = "HTTP/1.1 200 OK\r\nX-Upgrade-Progress: ";
    r.DripMs = everyMs;
    r.DripForMs = forMs;
    return r;
}

THttpReply THttpReply::NeverAnswer(int holdMs) {
    THttpReply r;
    r.Silent = true;
    r.HoldMs = holdMs;
    return r;
}

THttpReply THttpReply::Trickle(int everyMs) {
    THttpReply r = Ok("", "text/plain");
    r.AddContentLength = false;
    r.TrickleMs = everyMs;
    r.TrickleBytes = 1;
    r.Endless = true;
    r.EndlessChunk = "A";
    return r;
}

THttpReply THttpReply::EndlessBody(std::string chunk, std::string contentType) {
    THttpReply r = Ok("", std::move(contentType));
    r.AddContentLength = false;
    r.Endless = true;
    r.EndlessChunk = std::move(chunk);
    return r;
}

THttpReply THttpReply::CloseHalfwayUnannounced(const std::string& body) {
    THttpReply r = Ok(body, "application/octet-stream");
    r.AddContentLength = false;
    r.SendBodyBytes = static_cast<long long>(body.size() / 2);
    return r;
}

// ---- TLoopbackHttpServer ------------------------------------------------------------------

struct TLoopbackHttpServer::TImpl {
    TLoopbackHttpServer* Owner = nullptr;
    platform::TTcpListener Listener;
    detail::TStopSignal Stop;
    std::thread AcceptThread;

    mutable std::mutex Lock;
    mutable std::condition_variable RequestArrived;
    std::map<std::string, THttpHandler> Routes;
    THttpReply DefaultReply =
        THttpReply::WithStatus(404, "Not Found", "<html><body>Not Found</body></html>");
    std::vector<TRecordedHttpRequest> Requests;
    std::vector<std::thread> Connections;
    std::size_t ConnectionCount = 0;
    std::size_t TricklesCutShort = 0;

    void AcceptLoop();
    void Serve(platform::TTcpSocket socket);
    THttpReply ReplyFor(const TRecordedHttpRequest& request);
    void Record(TRecordedHttpRequest request);
    void Hold(platform::TTcpSocket& socket, int ms);
    // False when the client closed (or reset) the connection before forMs passed.
    bool Drip(platform::TTcpSocket& socket, int everyMs, int forMs);
    // Sends data as the reply's pacing says; false when the client went away or the server
    // stops.
    bool SendPaced(platform::TTcpSocket& socket, std::string_view data, const THttpReply& reply);
};

bool TLoopbackHttpServer::TImpl::SendPaced(platform::TTcpSocket& socket, std::string_view data,
                                           const THttpReply& reply) {
    if (reply.TrickleMs <= 0) {
        return detail::SendAll(socket, data, Stop, DeadlineIn(30000)) == TIoResult::Done;
    }
    const std::size_t piece = std::max<std::size_t>(1, reply.TrickleBytes);
    for (std::size_t at = 0; at < data.size(); at += piece) {
        if (detail::SendAll(socket, data.substr(at, piece), Stop, DeadlineIn(30000)) !=
                TIoResult::Done ||
            !Stop.WaitFor(reply.TrickleMs)) {
            return false;
        }
    }
    return true;
}

TLoopbackHttpServer::TLoopbackHttpServer() : FImpl(std::make_unique<TImpl>()) {
    EnsureLoopbackDirect();
    FImpl->Owner = this;
    if (const auto listening = FImpl->Listener.Listen(platform::IPv4Loopback, 0, 64);
        !listening) {
        throw std::runtime_error("loopback HTTP server: " + listening.ErrorText());
    }
    FPort = FImpl->Listener.LocalPort();
    FImpl->AcceptThread = std::thread([impl = FImpl.get()] { impl->AcceptLoop(); });
}

TLoopbackHttpServer::~TLoopbackHttpServer() {
    FImpl->Stop.Raise();
    if (FImpl->AcceptThread.joinable()) {
        FImpl->AcceptThread.join();
    }
    std::vector<std::thread> connections;
    {
        std::lock_guard<std::mutex> g(FImpl->Lock);
        connections.swap(FImpl->Connections);
    }
    for (std::thread& t : connections) {
        t.join();
    }
}

void TLoopbackHttpServer::Handle(const std::string& target, THttpReply reply) {
    Handle(target, [reply = std::move(reply)](const TRecordedHttpRequest&) { return reply; });
}

void TLoopbackHttpServer::Handle(const std::string& target, THttpHandler handler) {
    std::lock_guard<std::mutex> g(FImpl->Lock);
    FImpl->Routes[target] = std::move(handler);
}

void TLoopbackHttpServer::SetDefaultReply(THttpReply reply) {
    std::lock_guard<std::mutex> g(FImpl->Lock);
    FImpl->DefaultReply = std::move(reply);
}

std::string TLoopbackHttpServer::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(FPort);
}

std::string TLoopbackHttpServer::Url(std::string_view target) const {
    return BaseUrl() + std::string(target);
}

std::vector<TRecordedHttpRequest> TLoopbackHttpServer::Requests() const {
    std::lock_guard<std::mutex> g(FImpl->Lock);
    return FImpl->Requests;
}

std::size_t TLoopbackHttpServer::RequestCount() const {
    std::lock_guard<std::mutex> g(FImpl->Lock);
    return FImpl->Requests.size();
}

bool TLoopbackHttpServer::WaitForRequests(std::size_t n, int timeoutMs) const {
    std::unique_lock<std::mutex> g(FImpl->Lock);
    return FImpl->RequestArrived.wait_for(g, std::chrono::milliseconds(timeoutMs),
                                          [&] { return FImpl->Requests.size() >= n; });
}

void TLoopbackHttpServer::ClearRequests() {
    std::lock_guard<std::mutex> g(FImpl->Lock);
    FImpl->Requests.clear();
}

std::size_t TLoopbackHttpServer::ConnectionCount() const {
    std::lock_guard<std::mutex> g(FImpl->Lock);
    return FImpl->ConnectionCount;
}

std::size_t TLoopbackHttpServer::TricklesCutShort() const {
    std::lock_guard<std::mutex> g(FImpl->Lock);
    return FImpl->TricklesCutShort;
}

bool TLoopbackHttpServer::WaitForTricklesCutShort(std::size_t n, int timeoutMs) const {
    std::unique_lock<std::mutex> g(FImpl->Lock);
    return FImpl->RequestArrived.wait_for(g, std::chrono::milliseconds(timeoutMs),
                                          [&] { return FImpl->TricklesCutShort >= n; });
}

void TLoopbackHttpServer::TImpl::AcceptLoop() {
    while (!Stop.Raised()) {
        if (Listener.WaitReadable(detail::SliceMs) != platform::TWaitResult::Ready) {
            continue;
        }
        platform::TTcpSocket socket;
        if (!Listener.Accept(socket)) {
            continue;
        }
        if (!socket.SetNonBlocking(true)) {
            continue;
        }
        std::lock_guard<std::mutex> g(Lock);
        ++ConnectionCount;
        Connections.emplace_back([this, s = std::move(socket)]() mutable { Serve(std::move(s)); });
    }
    (void)Listener.Close();
}

THttpReply TLoopbackHttpServer::TImpl::ReplyFor(const TRecordedHttpRequest& request) {
    THttpHandler handler;
    THttpReply fallback;
    {
        std::lock_guard<std::mutex> g(Lock);
        auto it = Routes.find(request.Target);
        if (it == Routes.end()) {
            it = Routes.find(request.Path);
        }
        if (it != Routes.end()) {
            handler = it->second;
        } else {
            fallback = DefaultReply;
        }
    }
    return handler ? handler(request) : fallback;
}

void TLoopbackHttpServer::TImpl::Record(TRecordedHttpRequest request) {
    {
        std::lock_guard<std::mutex> g(Lock);
        Requests.push_back(std::move(request));
    }
    RequestArrived.notify_all();
}

void TLoopbackHttpServer::TImpl::Hold(platform::TTcpSocket& socket, int ms) {
    // Sends nothing; reads (and drops) whatever comes so that a client close ends the hold.
    const auto deadline = DeadlineIn(ms);
    std::string sink;
    while (!Stop.Raised() && detail::TClock::now() < deadline) {
        sink.clear();
        const TIoResult r = detail::ReceiveSome(socket, sink, 4096, Stop, deadline);
        if (r == TIoResult::Closed || r == TIoResult::Failed) {
            return;
        }
    }
}

bool TLoopbackHttpServer::TImpl::Drip(platform::TTcpSocket& socket, int everyMs, int forMs) {
    const auto end = DeadlineIn(forMs);
    while (!Stop.Raised() && detail::TClock::now() < end) {
        // Whatever the client sends is dropped; its close ends the trickle.
        char buffer[4096];
        const platform::TSocketResult got = socket.Receive(buffer, sizeof buffer);
        if ((got.Ok() && got.Count == 0) || (!got.Ok() && !got.WouldBlock())) {
            return false;
        }
        static constexpr char Dot = '.';
        const platform::TSocketResult sent = socket.Send(&Dot, 1);
        if (!sent.Ok() && !sent.WouldBlock()) {
            return false; // the client has gone: the send met its reset
        }
        if (!Stop.WaitFor(everyMs)) {
            break;
        }
    }
    return true;
}

void TLoopbackHttpServer::TImpl::Serve(platform::TTcpSocket socket) {
    const std::size_t maxHeader = Owner->MaxHeaderBytes;
    const std::size_t maxBody = Owner->MaxBodyBytes;
    const auto deadline = DeadlineIn(Owner->RequestTimeoutMs);

    TRecordedHttpRequest request;
    std::size_t headEnd = std::string::npos;
    TIoResult io = TIoResult::Done;
    while (headEnd == std::string::npos && request.Raw.size() < maxHeader) {
        io = detail::ReceiveSome(socket, request.Raw, 65536, Stop, deadline);
        if (io != TIoResult::Done) {
            break;
        }
        headEnd = request.Raw.find("\r\n\r\n");
    }
    if (headEnd == std::string::npos) {
        ParseHead(request.Raw, request);
        Record(std::move(request));
        return;
    }
    ParseHead(std::string_view(request.Raw).substr(0, headEnd), request);
    // Content-Length, digits only (anything else reads as no body), at most maxBody.
    std::size_t length = 0;
    for (const char c : request.Header("Content-Length")) {
        if (c < '0' || c > '9') {
            length = 0;
            break;
        }
        length = std::min(maxBody, length * 10 + static_cast<std::size_t>(c - '0'));
    }
    const std::size_t bodyStart = headEnd + 4;
    while (request.Raw.size() - bodyStart < length) {
        io = detail::ReceiveSome(socket, request.Raw, length - (request.Raw.size() - bodyStart),
                                 Stop, deadline);
        if (io != TIoResult::Done) {
            break;
        }
    }
    request.Body = request.Raw.substr(bodyStart);
    request.Complete = request.Body.size() >= length;
    const TRecordedHttpRequest copy = request;
    Record(std::move(request));

    const THttpReply reply = ReplyFor(copy);
    if (reply.DelayMs > 0 && !Stop.WaitFor(reply.DelayMs)) {
        return;
    }
    if (reply.Silent) {
        Hold(socket, reply.HoldMs);
        return;
    }
    if (reply.Interim100 && detail::SendAll(socket, "HTTP/1.1 100 Continue\r\n\r\n", Stop,
                                            DeadlineIn(30000)) != TIoResult::Done) {
        return;
    }
    std::string head;
    std::string_view body;
    if (!reply.Raw.empty()) {
        head = reply.Raw;
    } else {
        head = reply.Version + " " + std::to_string(reply.Status) + " " + reply.Reason + "\r\n";
        for (const THttpHeader& h : reply.Headers) {
            head += h.Name + ": " + h.Value + "\r\n";
        }
        if (reply.AddContentLength && !HasHeaderNamed(reply.Headers, "Content-Length")) {
            const long long declared = reply.DeclaredLength >= 0
                                           ? reply.DeclaredLength
                                           : static_cast<long long>(reply.Body.size());
            head += "Content-Length: " + std::to_string(declared) + "\r\n";
        }
        if (!HasHeaderNamed(reply.Headers, "Connection")) {
            head += "Connection: close\r\n";
        }
        head += "\r\n";
        body = reply.Body;
        if (reply.SendBodyBytes >= 0) {
            body = body.substr(0, static_cast<std::size_t>(reply.SendBodyBytes));
        }
    }
    if (!SendPaced(socket, head, reply) || !SendPaced(socket, body, reply)) {
        return;
    }
    if (reply.Endless) {
        const std::string chunk = reply.EndlessChunk.empty() ? std::string("x") : reply.EndlessChunk;
        std::uint64_t sent = 0;
        while (sent < reply.EndlessSafetyBytes && SendPaced(socket, chunk, reply)) {
            sent += chunk.size();
        }
        socket.ShutdownSend();
        return;
    }
    if (reply.DripMs > 0) {
        if (!Drip(socket, reply.DripMs, reply.DripForMs)) {
            {
                std::lock_guard<std::mutex> g(Lock);
                ++TricklesCutShort;
            }
            RequestArrived.notify_all();
        }
        return;
    }
    if (reply.HoldMs > 0) {
        Hold(socket, reply.HoldMs);
        return;
    }
    // Let the client read everything before the close: half-close, then drain briefly so
    // that unread request bytes do not turn the close into a reset.
    socket.ShutdownSend();
    Hold(socket, 2000);
}

} // namespace torvane::test
