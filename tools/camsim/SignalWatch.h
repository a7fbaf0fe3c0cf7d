#pragma once

#include "EventLoop.h"
#include "Socket.h"

namespace camsim {

// Turns SIGINT and SIGTERM into a clean stop of the loop (through a signalfd, so nothing
// runs inside a signal handler). SIGPIPE is ignored: a client that goes away mid-reply
// must not end the program.
class TSignalWatch {
public:
    explicit TSignalWatch(TEventLoop& loop);
    ~TSignalWatch();
    TSignalWatch(const TSignalWatch&) = delete;
    TSignalWatch& operator=(const TSignalWatch&) = delete;

private:
    TEventLoop& FLoop;
    TSocket FSignalFd;
};

} // namespace camsim
