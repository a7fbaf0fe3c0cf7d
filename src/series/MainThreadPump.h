#pragma once
// Teardown without deadlock. A receive thread hands what it got to the main thread through
// Host().RunOnMainThread and waits there; if the main thread then waited for that receive
// thread to end (a plain join), neither could go on. WaitPumpingMainThread waits on the main
// thread until a condition holds and keeps running the host's queued main-thread work
// meanwhile, so a receive thread blocked in its hand-over finishes and can be joined.
//
// A host whose main thread drains a queue by hand names it (IHost::MainQueue), and that
// queue is run directly. A host served by an event loop (the window) installs its own pump
// with SetMainThreadPump.

#include <functional>

namespace torvane {

// One round of the main thread's pending work, waiting up to maxWaitMs for some to arrive.
// It may be called from any thread that waits, and must do nothing off the main thread.
using TMainThreadPump = std::function<void(int maxWaitMs)>;

// Installs the pump of the current host; an empty function goes back to the built-in one.
void SetMainThreadPump(TMainThreadPump pump);

// Returns when done() is true. On the main thread it runs queued main-thread work while it
// waits; on any other thread it simply waits.
void WaitPumpingMainThread(const std::function<bool()>& done);

} // namespace torvane
