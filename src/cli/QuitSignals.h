#pragma once
// Ctrl-C (SIGINT), SIGTERM and SIGHUP end torvane-cli the way closing ends the window: the
// language packs it wrote into the temporary folder are deleted (unless another copy still
// uses them), then the program ends by that signal. In the middle of a firmware upload it
// first lets the upload finish, so that no camera is left with half an image, and says so
// on standard error; a second signal ends it at once.
//
// The signals are blocked in every thread and taken by one thread of their own (sigwait),
// so the clean-up runs as ordinary code, never inside a signal handler.

#include "i18n/StrResource.h"

#include <functional>
#include <memory>
#include <thread>

namespace torvane::cli {

// The thread that takes the signals, owned by main. Making it blocks the signals and starts
// the thread: make it first in main, before any other thread starts (threads inherit the
// blocked signals). A signal that the program was started with ignored (nohup, a
// background job of a script) stays ignored. At the program's normal end the object
// wakes its thread (platform::WakeSignal) and joins it.
class TQuitSignals {
public:
    TQuitSignals();
    ~TQuitSignals();

private:
    std::jthread FThread; // move-only, so the object is never copied
};

// A function that the signal thread calls, set for the object's life: the object's end
// takes it back and waits until a call under way has returned. One of each kind at a time.
template <typename F>
class TSignalHook {
public:
    explicit TSignalHook(std::function<F> hook);
    ~TSignalHook();
    TSignalHook(const TSignalHook&) = delete;
    TSignalHook& operator=(const TSignalHook&) = delete;
};

// While it lives, a signal that comes while the hook answers true (it is asked from the
// signal thread) lets the upload finish before the program ends. The upgrade command makes
// one for its worker and lets it go before the worker goes.
using TUploadWatch = TSignalHook<bool()>;

// While it lives, the first SIGINT (Ctrl-C) does not end the program: the hook runs on the
// signal thread instead, once. Every later signal ends the program as above (an upload
// under way is finished first). torvane-cli batch makes one to stop starting cameras.
using TFirstInterrupt = TSignalHook<void()>;

// The language packs of one command: written when the object is made, deleted when it goes
// or when a signal ends the program, whichever comes first.
class TCliPacks {
public:
    TCliPacks();
    ~TCliPacks();

    [[nodiscard]] TfrmStrRes& Holder() { return *FHolder; }

private:
    std::unique_ptr<TfrmStrRes> FHolder; // move-only, so the object is never copied
};

} // namespace torvane::cli
