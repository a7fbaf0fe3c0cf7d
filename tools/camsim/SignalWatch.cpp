#include "SignalWatch.h"

#include "Console.h"
#include "Error.h"

#include <cerrno>
#include <csignal>
#include <string>

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace camsim {

namespace {

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

TSignalWatch::TSignalWatch(TEventLoop& loop) : FLoop(loop) {
    std::signal(SIGPIPE, SIG_IGN);
    const sigset_t set = StopSignals();
    if (::sigprocmask(SIG_BLOCK, &set, nullptr) != 0) {
        throw TRuntimeError("cannot block SIGINT and SIGTERM: " + SystemError(errno));
    }
    FSignalFd = TSocket(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!FSignalFd.IsOpen()) {
        throw TRuntimeError("cannot watch SIGINT and SIGTERM: " + SystemError(errno));
    }
    FLoop.Watch(FSignalFd.Fd(), POLLIN, [this](short) {
        signalfd_siginfo info{};
        if (::read(FSignalFd.Fd(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            Say(std::string("stopping on ") + (info.ssi_signo == SIGINT ? "SIGINT" : "SIGTERM"));
            FLoop.Stop();
        }
    });
}

TSignalWatch::~TSignalWatch() {
    // The signals stay blocked: camsim is on its way out, and a second Ctrl-C arriving now
    // should not kill it before the sockets are closed.
    FLoop.Unwatch(FSignalFd.Fd());
}

} // namespace camsim
