#pragma once

#include "EventLoop.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "Loopback.h"
#include "Socket.h"

#include <map>
#include <memory>
#include <string>

namespace camsim {

class THttpHandler {
public:
    virtual ~THttpHandler() = default;
    [[nodiscard]] virtual THttpResponse Handle(const THttpRequest& request) = 0;
};

// An HTTP/1.0 and 1.1 server on one loopback endpoint, run by the event loop: reads one
// request per connection (Content-Length bodies, "100 Continue" only when asked), hands it
// to the handler, writes the reply (or trickles it, THttpResponse::TrickleEvery), closes.
// It can stop listening and listen again later on the same endpoint, which is how a camera
// reboots.
class THttpServer {
public:
    // `name` starts the lines of the request log (--verbose), followed by the endpoint.
    THttpServer(TEventLoop& loop, TLoopbackEndpoint endpoint, THttpHandler& handler,
                std::string name, bool verbose);
    ~THttpServer();
    THttpServer(const THttpServer&) = delete;
    THttpServer& operator=(const THttpServer&) = delete;

    // Throws TRuntimeError when the endpoint cannot be bound. Port 0 becomes a free port,
    // kept for every later Listen.
    void Listen();
    // New connections are refused from now on; open ones carry on.
    void StopListening();
    // Closes every connection that is still reading a request or writing a reply.
    void DropConnections();
    [[nodiscard]] bool Listening() const { return FListener.IsOpen(); }
    [[nodiscard]] const TLoopbackEndpoint& Endpoint() const { return FEndpoint; }

    // No progress on a connection for this long: it is answered (408, or 400 for a body
    // that stops short of its Content-Length) and closed.
    static constexpr std::chrono::milliseconds IdleTimeout{10'000};
    // After a reply, how long camsim waits for the client to close before closing itself.
    static constexpr std::chrono::milliseconds DrainTimeout{2'000};

private:
    struct TConnection;

    void Accept();
    void OnEvent(int fd, short revents);
    void Read(TConnection& connection);
    void Respond(TConnection& connection, THttpResponse response);
    void RespondToFailure(TConnection& connection);
    void Write(TConnection& connection);
    void StartDraining(TConnection& connection);
    void Trickle(TConnection& connection);
    void Drain(TConnection& connection);
    void ArmTimer(TConnection& connection, std::chrono::milliseconds delay);
    void OnTimeout(int fd);
    void Close(int fd);

    TEventLoop& FLoop;
    TLoopbackEndpoint FEndpoint;
    THttpHandler& FHandler;
    std::string FName;
    bool FVerbose;
    TSocket FListener;
    std::map<int, std::unique_ptr<TConnection>> FConnections;
};

} // namespace camsim
