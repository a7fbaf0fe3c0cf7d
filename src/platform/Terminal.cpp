#include "platform/Terminal.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace torvane::platform {

namespace {

// Longest secret read; the rest of a longer line is read and dropped.
constexpr std::size_t MaxSecretBytes = 4096;

// While the echo is off: the terminal's settings to go back to, and the signal actions
// that were there before ours.
termios GSaved{};
volatile std::sig_atomic_t GEchoOff = 0;
constexpr int GuardedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};
struct sigaction GPrevious[sizeof(GuardedSignals) / sizeof(GuardedSignals[0])];

// A signal while the echo is off: echo back on, then the signal's previous action.
void RestoreAndPassOn(int sig) {
    if (GEchoOff != 0) {
        (void)::tcsetattr(STDIN_FILENO, TCSAFLUSH, &GSaved);
        GEchoOff = 0;
    }
    for (std::size_t i = 0; i < sizeof(GuardedSignals) / sizeof(GuardedSignals[0]); ++i) {
        if (GuardedSignals[i] == sig) {
            (void)::sigaction(sig, &GPrevious[i], nullptr);
        }
    }
    (void)::raise(sig);
}

} // namespace

bool StdinIsTerminal() {
    return ::isatty(STDIN_FILENO) != 0;
}

bool StderrIsTerminal() {
    return ::isatty(STDERR_FILENO) != 0;
}

bool ReadSecretLine(const std::string& prompt, std::string& line) {
    line.clear();
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);

    termios settings{};
    const bool terminal = ::tcgetattr(STDIN_FILENO, &settings) == 0;
    if (terminal) {
        GSaved = settings;
        struct sigaction guard {};
        guard.sa_handler = RestoreAndPassOn;
        sigemptyset(&guard.sa_mask);
        for (std::size_t i = 0; i < sizeof(GuardedSignals) / sizeof(GuardedSignals[0]); ++i) {
            (void)::sigaction(GuardedSignals[i], &guard, &GPrevious[i]);
        }
        settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        settings.c_lflag |= ECHONL;
        GEchoOff = 1;
        (void)::tcsetattr(STDIN_FILENO, TCSAFLUSH, &settings);
    }

    bool gotLine = false;
    bool anything = false;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n <= 0) {
            // End of input, or a signal (EINTR): give up rather than read on.
            gotLine = anything && n == 0;
            break;
        }
        anything = true;
        if (c == '\n') {
            gotLine = true;
            break;
        }
        if (line.size() < MaxSecretBytes) {
            line += c;
        }
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }

    if (terminal) {
        if (GEchoOff != 0) {
            (void)::tcsetattr(STDIN_FILENO, TCSAFLUSH, &GSaved);
            GEchoOff = 0;
        }
        for (std::size_t i = 0; i < sizeof(GuardedSignals) / sizeof(GuardedSignals[0]); ++i) {
            (void)::sigaction(GuardedSignals[i], &GPrevious[i], nullptr);
        }
    }
    return gotLine;
}

} // namespace torvane::platform
