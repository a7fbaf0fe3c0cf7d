#pragma once
// SIGINT, SIGTERM and SIGHUP, the signals by which a terminal, a session's end or kill ask
// a program to end, taken the two ways the programs take them:
//  - the window: TQuitSignalPipe turns each signal into a byte on a local socket that the
//    GUI's event loop watches, so the window closes as ordinary code;
//  - torvane-cli: the signals are blocked in every thread and one thread waits for them.

#include <csignal>
#include <pthread.h>

namespace torvane::platform {

// Catches the quit signals for its life: each one writes a byte that ReadHandle() then
// has to read (Acknowledge). The signals' default action comes back with the destructor.
// One at a time in a process.
class TQuitSignalPipe {
public:
    TQuitSignalPipe();
    ~TQuitSignalPipe();
    TQuitSignalPipe(const TQuitSignalPipe&) = delete;
    TQuitSignalPipe& operator=(const TQuitSignalPipe&) = delete;

    // False when no pipe could be had; the signals then keep their default action.
    [[nodiscard]] bool Active() const { return FActive; }
    // The descriptor to watch for reading (-1 when not active).
    [[nodiscard]] int ReadHandle() const;
    // Takes one signal's byte after ReadHandle() became readable.
    void Acknowledge();

private:
    bool FActive = false;
};

// The quit signals that the program was not started with ignored (nohup, a background job
// of a script keep them ignored); false when that leaves none.
[[nodiscard]] bool QuitSignalsNotIgnored(sigset_t& set);
// Blocks the signals of set in the calling thread (and the threads it starts later).
[[nodiscard]] bool BlockSignals(const sigset_t& set);
void UnblockSignals(const sigset_t& set);
// The signal by which the program wakes its own thread that waits in WaitForSignal, so
// that the thread's owner can end it (SIGUSR1). AddWakeSignal puts it in set and gives it
// its default action, so that it is never discarded (a process may start with it
// ignored); block the set before other threads start, like the quit signals.
[[nodiscard]] int WakeSignal();
void AddWakeSignal(sigset_t& set);
// Sends the wake signal to a thread (pthread_kill).
void SendWakeSignal(pthread_t thread);
// Waits for one of the blocked signals of set: its number.
[[nodiscard]] int WaitForSignal(const sigset_t& set);
// The same for at most ms milliseconds: 0 when none came.
[[nodiscard]] int WaitForSignalFor(const sigset_t& set, long ms);
// Ends the process by sig with its default action, as if no one had caught it (a shell
// then sees the program as interrupted); standard streams are flushed first.
[[noreturn]] void EndBySignal(int sig);

} // namespace torvane::platform
