#include "platform/QuitSignals.h"

#include <cstdio>
#include <ctime>
#include <initializer_list>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace torvane::platform {

namespace {

constexpr std::initializer_list<int> QuitSignals = {SIGINT, SIGTERM, SIGHUP};

int SignalPipe[2] = {-1, -1};

// Only async-signal-safe work here: one byte into the pipe.
extern "C" void OnQuitSignal(int) {
    const char byte = 1;
    (void)!::write(SignalPipe[1], &byte, 1);
}

void SetAction(void (*handler)(int), int flags) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    for (const int sig : QuitSignals) {
        (void)::sigaction(sig, &action, nullptr);
    }
}

} // namespace

TQuitSignalPipe::TQuitSignalPipe() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, SignalPipe) != 0) {
        return;
    }
    FActive = true;
    SetAction(OnQuitSignal, SA_RESTART);
}

TQuitSignalPipe::~TQuitSignalPipe() {
    if (!FActive) {
        return;
    }
    SetAction(SIG_DFL, 0);
    for (int& fd : SignalPipe) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
}

int TQuitSignalPipe::ReadHandle() const {
    return FActive ? SignalPipe[0] : -1;
}

void TQuitSignalPipe::Acknowledge() {
    char byte = 0;
    if (FActive) {
        (void)!::read(SignalPipe[0], &byte, 1);
    }
}

bool QuitSignalsNotIgnored(sigset_t& set) {
    sigemptyset(&set);
    bool any = false;
    for (const int sig : QuitSignals) {
        struct sigaction current {};
        if (::sigaction(sig, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
            continue;
        }
        sigaddset(&set, sig);
        any = true;
    }
    return any;
}

bool BlockSignals(const sigset_t& set) {
    return ::pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

void UnblockSignals(const sigset_t& set) {
    (void)::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

int WakeSignal() {
    return SIGUSR1;
}

void AddWakeSignal(sigset_t& set) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    (void)::sigaction(WakeSignal(), &action, nullptr);
    sigaddset(&set, WakeSignal());
}

void SendWakeSignal(pthread_t thread) {
    (void)::pthread_kill(thread, WakeSignal());
}

int WaitForSignal(const sigset_t& set) {
    int sig = 0;
    while (::sigwait(&set, &sig) != 0) {
    }
    return sig;
}

int WaitForSignalFor(const sigset_t& set, long ms) {
    const timespec slice{ms / 1000, (ms % 1000) * 1000000L};
    const int sig = ::sigtimedwait(&set, nullptr, &slice);
    return sig > 0 ? sig : 0;
}

void EndBySignal(int sig) {
    std::fflush(nullptr);
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    (void)::sigaction(sig, &action, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    UnblockSignals(only);
    (void)::raise(sig);
    ::_exit(128 + sig);
}

} // namespace torvane::platform
