#include "HttpServer.h"

#include "Console.h"

#include <cerrno>

#include <poll.h>
#include <sys/socket.h>

namespace camsim {

struct THttpServer::TConnection {
    enum class EPhase { Reading, Writing, Trickling, Draining };

    TSocket Socket;
    THttpRequestParser Parser;
    EPhase Phase = EPhase::Reading;
    std::string Output;
    std::size_t Sent = 0;
    bool ContinueSent = false;
    std::function<void()> AfterSent;
    TEventLoop::TTimerId Timer = 0;
    std::chrono::milliseconds TrickleEvery{0};
    std::chrono::steady_clock::time_point TrickleEnd;
};

THttpServer::THttpServer(TEventLoop& loop, TLoopbackEndpoint endpoint, THttpHandler& handler,
                         std::string name, bool verbose)
    : FLoop(loop), FEndpoint(std::move(endpoint)), FHandler(handler), FName(std::move(name)),
      FVerbose(verbose) {}

THttpServer::~THttpServer() {
    StopListening();
    while (!FConnections.empty()) {
        Close(FConnections.begin()->first);
    }
}

void THttpServer::Listen() {
    if (FListener.IsOpen()) {
        return;
    }
    FListener = ListenTcp(FEndpoint);
    FLoop.Watch(FListener.Fd(), POLLIN, [this](short) { Accept(); });
}

void THttpServer::StopListening() {
    if (FListener.IsOpen()) {
        FLoop.Unwatch(FListener.Fd());
        FListener.Close();
    }
}

void THttpServer::DropConnections() {
    std::vector<int> doomed;
    for (const auto& [fd, connection] : FConnections) {
        if (connection->Phase != TConnection::EPhase::Draining) {
            doomed.push_back(fd);
        }
    }
    for (const int fd : doomed) {
        Close(fd);
    }
}

void THttpServer::Accept() {
    while (FListener.IsOpen()) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        TSocket socket(::accept4(FListener.Fd(), reinterpret_cast<sockaddr*>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!socket.IsOpen()) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR &&
                errno != ECONNABORTED) {
                Complain(FName + " " + FEndpoint.Text() + ": accept failed: " + SystemError(errno));
            }
            return;
        }
        if (!TLoopbackEndpoint::IsLoopback(peer)) {
            continue; // never answer anything outside this machine
        }
        const int fd = socket.Fd();
        auto connection = std::make_unique<TConnection>();
        connection->Socket = std::move(socket);
        TConnection& ref = *connection;
        FConnections[fd] = std::move(connection);
        FLoop.Watch(fd, POLLIN, [this, fd](short revents) { OnEvent(fd, revents); });
        ArmTimer(ref, IdleTimeout);
    }
}

void THttpServer::ArmTimer(TConnection& connection, std::chrono::milliseconds delay) {
    if (connection.Timer != 0) {
        FLoop.Cancel(connection.Timer);
    }
    const int fd = connection.Socket.Fd();
    connection.Timer = FLoop.After(delay, [this, fd] { OnTimeout(fd); });
}

void THttpServer::OnTimeout(int fd) {
    const auto found = FConnections.find(fd);
    if (found == FConnections.end()) {
        return;
    }
    TConnection& connection = *found->second;
    connection.Timer = 0;
    if (connection.Phase == TConnection::EPhase::Trickling) {
        Trickle(connection);
        return;
    }
    if (connection.Phase != TConnection::EPhase::Reading) {
        Close(fd);
        return;
    }
    if (connection.Parser.HeadersDone()) {
        Respond(connection, THttpResponse::Page(400, "Request body shorter than its "
                                                     "Content-Length"));
    } else {
        Respond(connection, THttpResponse::Page(408, "Request Timeout"));
    }
}

void THttpServer::OnEvent(int fd, short revents) {
    const auto found = FConnections.find(fd);
    if (found == FConnections.end()) {
        return;
    }
    TConnection& connection = *found->second;
    switch (connection.Phase) {
    case TConnection::EPhase::Reading:
        Read(connection);
        break;
    case TConnection::EPhase::Writing:
        if ((revents & (POLLERR | POLLHUP)) != 0 && (revents & POLLOUT) == 0) {
            Close(fd);
        } else {
            Write(connection);
        }
        break;
    case TConnection::EPhase::Trickling:
    case TConnection::EPhase::Draining:
        Drain(connection); // what the client sends is dropped; its close ends the connection
        break;
    }
}

void THttpServer::Read(TConnection& connection) {
    char buffer[65536];
    const ssize_t got = ::recv(connection.Socket.Fd(), buffer, sizeof buffer, 0);
    if (got < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            Close(connection.Socket.Fd());
        }
        return;
    }
    THttpRequestParser& parser = connection.Parser;
    const auto state = got == 0 ? parser.EndOfInput()
                                : parser.Feed(std::string_view(buffer, static_cast<size_t>(got)));
    if (got == 0 && !parser.HeadersDone()) {
        Close(connection.Socket.Fd()); // nothing worth answering
        return;
    }
    ArmTimer(connection, IdleTimeout);
    if (state == THttpRequestParser::EState::Failed) {
        RespondToFailure(connection);
        return;
    }
    if (state == THttpRequestParser::EState::NeedMore) {
        if (parser.TakeContinueWanted() && !connection.ContinueSent) {
            // The client waits for this before it sends the body; it is small enough to go
            // out in one send on a fresh connection.
            static constexpr std::string_view Continue = "HTTP/1.1 100 Continue\r\n\r\n";
            connection.ContinueSent = true;
            ::send(connection.Socket.Fd(), Continue.data(), Continue.size(), MSG_NOSIGNAL);
        }
        return;
    }
    if (parser.ExtraBytes() > 0) {
        Respond(connection,
                THttpResponse::Page(400, "Request body longer than its Content-Length"));
        return;
    }
    const THttpRequest& request = parser.Request();
    THttpResponse response = FHandler.Handle(request);
    if (request.Method == "HEAD") {
        response.HeadOnly = true;
    }
    if (FVerbose) {
        Say(FName + " " + FEndpoint.Text() + ": " + request.Method + " " + request.Target + " -> " +
            std::to_string(response.Status));
    }
    Respond(connection, std::move(response));
}

void THttpServer::RespondToFailure(TConnection& connection) {
    const THttpRequestParser& parser = connection.Parser;
    if (FVerbose) {
        Say(FName + " " + FEndpoint.Text() + ": bad request (" + parser.FailReason() + ") -> " +
            std::to_string(parser.FailStatus()));
    }
    Respond(connection, THttpResponse::Page(parser.FailStatus(), std::string(ReasonPhrase(
                                                                     parser.FailStatus())) +
                                                                     ": " + parser.FailReason()));
}

void THttpServer::Respond(TConnection& connection, THttpResponse response) {
    if (response.TrickleEvery.count() > 0) {
        connection.Phase = TConnection::EPhase::Trickling;
        connection.Output = response.TrickleStart();
        connection.Sent = 0;
        connection.TrickleEvery = response.TrickleEvery;
        connection.TrickleEnd = std::chrono::steady_clock::now() + THttpResponse::TrickleLimit;
        FLoop.SetEvents(connection.Socket.Fd(), POLLIN);
        Trickle(connection);
        return;
    }
    connection.Phase = TConnection::EPhase::Writing;
    connection.Output = response.Serialize();
    connection.Sent = 0;
    connection.AfterSent = std::move(response.AfterSent);
    FLoop.SetEvents(connection.Socket.Fd(), POLLOUT);
    Write(connection);
}

void THttpServer::Write(TConnection& connection) {
    const int fd = connection.Socket.Fd();
    while (connection.Sent < connection.Output.size()) {
        const ssize_t sent = ::send(fd, connection.Output.data() + connection.Sent,
                                    connection.Output.size() - connection.Sent, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                ArmTimer(connection, IdleTimeout);
                return;
            }
            Close(fd); // the client went away; a reboot after this reply does not happen
            return;
        }
        connection.Sent += static_cast<std::size_t>(sent);
    }
    if (connection.AfterSent) {
        FLoop.Defer(std::move(connection.AfterSent));
        connection.AfterSent = nullptr;
    }
    StartDraining(connection);
}

void THttpServer::Trickle(TConnection& connection) {
    const int fd = connection.Socket.Fd();
    if (std::chrono::steady_clock::now() >= connection.TrickleEnd) {
        StartDraining(connection);
        return;
    }
    if (connection.Sent >= connection.Output.size()) {
        connection.Output += '.';
    }
    const ssize_t sent = ::send(fd, connection.Output.data() + connection.Sent,
                                connection.Output.size() - connection.Sent, MSG_NOSIGNAL);
    if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        Close(fd); // the client has gone
        return;
    }
    if (sent > 0) {
        connection.Sent += static_cast<std::size_t>(sent);
    }
    ArmTimer(connection, connection.TrickleEvery);
}

void THttpServer::StartDraining(TConnection& connection) {
    // Half-close and read until the client closes too: closing with unread bytes would
    // reset the connection and could destroy the reply before the client has read it.
    ::shutdown(connection.Socket.Fd(), SHUT_WR);
    connection.Phase = TConnection::EPhase::Draining;
    FLoop.SetEvents(connection.Socket.Fd(), POLLIN);
    ArmTimer(connection, DrainTimeout);
}

void THttpServer::Drain(TConnection& connection) {
    char buffer[4096];
    const ssize_t got = ::recv(connection.Socket.Fd(), buffer, sizeof buffer, 0);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        Close(connection.Socket.Fd());
    }
}

void THttpServer::Close(int fd) {
    const auto found = FConnections.find(fd);
    if (found == FConnections.end()) {
        return;
    }
    if (found->second->Timer != 0) {
        FLoop.Cancel(found->second->Timer);
    }
    FLoop.Unwatch(fd);
    FConnections.erase(found); // closes the socket
}

} // namespace camsim
