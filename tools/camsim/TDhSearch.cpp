#include "TDhSearch.h"

#include "Console.h"
#include "Loopback.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include <poll.h>
#include <sys/socket.h>

namespace camsim {

namespace {

std::unique_ptr<TDhSearchResponder> GResponder;

bool Begins(std::string_view datagram, char command0, char command1) {
    return datagram.size() >= 4 && datagram[0] == 'D' && datagram[1] == 'H' &&
           datagram[2] == command0 && datagram[3] == command1;
}

} // namespace

namespace dh {

std::string Field(std::string_view datagram, std::size_t offset, std::size_t size) {
    if (offset >= datagram.size()) {
        return {};
    }
    const std::string_view field = datagram.substr(offset, size);
    return std::string(field.substr(0, field.find('\0')));
}

void PutField(std::string& datagram, std::size_t offset, std::size_t size, std::string_view text) {
    const std::size_t n = std::min(text.size(), size - 1);
    datagram.replace(offset, n, text.substr(0, n));
}

} // namespace dh

void TDhSearchResponder::Join(TEventLoop& loop, IDhAnswerer& camera) {
    if (!GResponder) {
        GResponder = std::make_unique<TDhSearchResponder>(loop);
    }
    GResponder->FCameras.push_back(&camera);
}

void TDhSearchResponder::Leave(IDhAnswerer& camera) {
    if (!GResponder) {
        return;
    }
    auto& cameras = GResponder->FCameras;
    cameras.erase(std::remove(cameras.begin(), cameras.end(), &camera), cameras.end());
    if (cameras.empty()) {
        GResponder.reset();
    }
}

TDhSearchResponder::TDhSearchResponder(TEventLoop& loop) : FLoop(loop) {
    const TLoopbackEndpoint endpoint =
        TLoopbackEndpoint::Parse("127.0.0.1", Port, "T search address");
    TSocket socket(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const sockaddr_in address = endpoint.SocketAddress();
    if (!socket.IsOpen() ||
        ::bind(socket.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        Complain("T search " + endpoint.Text() + ": " + SystemError(errno) +
                 "; T cameras will not answer the search");
        return;
    }
    FSocket = std::move(socket);
    FLoop.Watch(FSocket.Fd(), POLLIN, [this](short) { Receive(); });
}

TDhSearchResponder::~TDhSearchResponder() {
    if (FSocket.IsOpen()) {
        FLoop.Unwatch(FSocket.Fd());
    }
}

void TDhSearchResponder::Receive() {
    for (;;) {
        char buffer[2048];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = ::recvfrom(FSocket.Fd(), buffer, sizeof buffer, 0,
                                     reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0) {
            return; // drained (or a transient error: the next datagram wakes us again)
        }
        if (!TLoopbackEndpoint::IsLoopback(from)) {
            continue;
        }
        const std::string_view datagram(buffer, static_cast<std::size_t>(n));
        const auto send = [&](const std::string& bytes) {
            (void)::sendto(FSocket.Fd(), bytes.data(), bytes.size(), 0,
                           reinterpret_cast<const sockaddr*>(&from), sizeof from);
        };
        if (Begins(datagram, 0x01, 0x01)) {
            for (const IDhAnswerer* camera : FCameras) {
                const std::string reply = camera->DhSearchReply();
                if (!reply.empty()) {
                    send(reply);
                }
            }
        } else if (Begins(datagram, 0x02, 0x01) && datagram.size() >= dh::SetSize) {
            for (IDhAnswerer* camera : FCameras) {
                if (const auto answer = camera->DhSetAnswer(datagram)) {
                    send(*answer);
                }
            }
        }
        // Anything else (our own answers included) is not for the cameras.
    }
}

} // namespace camsim
