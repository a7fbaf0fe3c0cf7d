#pragma once

#include "EventLoop.h"
#include "Socket.h"

#include <string>
#include <vector>

namespace camsim {

// Answers the CTP search probe ("SEARCH * CTP/1.0" ...) that the upgrade tool and the
// camera dialog send to port 7999: one UDP socket on 127.0.0.1:7999 for all E cameras of
// the simulation (the probe goes to one broadcast address, every camera answers), each
// answering with its own "REPLY" datagram to the probe's sender, which must be loopback.
class ICtpSearchAnswerer {
public:
    virtual ~ICtpSearchAnswerer() = default;
    // The camera's reply, or empty while it does not answer (down, rebooting).
    [[nodiscard]] virtual std::string CtpSearchReply() const = 0;
};

class TCtpSearchResponder {
public:
    static constexpr std::uint16_t Port = 7999;

    // The responder of the loop, opened with its first camera and closed with its last.
    // A port that cannot be bound is reported once; the cameras then go unfound.
    static void Join(TEventLoop& loop, ICtpSearchAnswerer& camera);
    static void Leave(ICtpSearchAnswerer& camera);

    explicit TCtpSearchResponder(TEventLoop& loop);
    ~TCtpSearchResponder();
    TCtpSearchResponder(const TCtpSearchResponder&) = delete;
    TCtpSearchResponder& operator=(const TCtpSearchResponder&) = delete;

private:
    void Receive();

    TEventLoop& FLoop;
    TSocket FSocket;
    std::vector<ICtpSearchAnswerer*> FCameras;
};

} // namespace camsim
