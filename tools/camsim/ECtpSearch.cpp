#include "ECtpSearch.h"

#include "Console.h"
#include "Loopback.h"
#include "Text.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include <poll.h>
#include <sys/socket.h>

namespace camsim {

namespace {

std::unique_ptr<TCtpSearchResponder> GResponder;

} // namespace

void TCtpSearchResponder::Join(TEventLoop& loop, ICtpSearchAnswerer& camera) {
    if (!GResponder) {
        GResponder = std::make_unique<TCtpSearchResponder>(loop);
    }
    GResponder->FCameras.push_back(&camera);
}

void TCtpSearchResponder::Leave(ICtpSearchAnswerer& camera) {
    if (!GResponder) {
        return;
    }
    auto& cameras = GResponder->FCameras;
    cameras.erase(std::remove(cameras.begin(), cameras.end(), &camera), cameras.end());
    if (cameras.empty()) {
        GResponder.reset();
    }
}

TCtpSearchResponder::TCtpSearchResponder(TEventLoop& loop) : FLoop(loop) {
    TLoopbackEndpoint endpoint = TLoopbackEndpoint::Parse("127.0.0.1", Port, "CTP search address");
    TSocket socket(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const sockaddr_in address = endpoint.SocketAddress();
    if (!socket.IsOpen() ||
        ::bind(socket.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        Complain("CTP search " + endpoint.Text() + ": " + SystemError(errno) +
                 "; E cameras will not answer the search");
        return;
    }
    FSocket = std::move(socket);
    FLoop.Watch(FSocket.Fd(), POLLIN, [this](short) { Receive(); });
}

TCtpSearchResponder::~TCtpSearchResponder() {
    if (FSocket.IsOpen()) {
        FLoop.Unwatch(FSocket.Fd());
    }
}

void TCtpSearchResponder::Receive() {
    for (;;) {
        char buffer[2048];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = ::recvfrom(FSocket.Fd(), buffer, sizeof buffer, 0,
                                     reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0) {
            return; // drained (or a transient error: the next datagram wakes us again)
        }
        if (!TLoopbackEndpoint::IsLoopback(from) ||
            !StartsWith(std::string_view(buffer, static_cast<std::size_t>(n)), "SEARCH * CTP/1.0")) {
            continue;
        }
        for (const ICtpSearchAnswerer* camera : FCameras) {
            const std::string reply = camera->CtpSearchReply();
            if (!reply.empty()) {
                (void)::sendto(FSocket.Fd(), reply.data(), reply.size(), 0,
                               reinterpret_cast<const sockaddr*>(&from), sizeof from);
            }
        }
    }
}

} // namespace camsim
