#pragma once
// Host services: what the core asks of whoever runs it (the window, the command line or a
// test). The core never touches a widget; it reaches the host only through these. The
// window's host is src/app/QtHost, the command line's TConsoleHost below; the tests' hosts
// live in tests/support.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace torvane::platform {

// Message-box flags and results, with the numbers the Windows API gives them.
constexpr int MB_OK = 0x00;
constexpr int MB_YESNO = 0x04;
constexpr int MB_ICONERROR = 0x10;
constexpr int MB_ICONQUESTION = 0x20;
constexpr int MB_ICONWARNING = 0x30;
constexpr int MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// A queue that one thread (the main thread of a host without an event loop) drains: the
// posted work of a console or test host.
class TMainQueue {
public:
    TMainQueue();
    // Makes the calling thread the main thread.
    void BindToCurrentThread();
    [[nodiscard]] bool IsMainThread() const;
    // Queues fn to run on the main thread; never waits.
    void Post(std::function<void()> fn);
    // Runs fn on the main thread and waits for it; at once when called on the main thread.
    void RunAndWait(const std::function<void()>& fn);
    // Runs every callable queued so far. Main thread only.
    void RunPending();
    // Waits up to timeoutMs for work and runs it; returns after running at least one
    // callable or when the time is up. Main thread only.
    void WaitAndRun(int timeoutMs);
    // Wakes a WaitAndRun.
    void Wake();

private:
    std::thread::id FMainThread;
    mutable std::mutex FLock;
    std::condition_variable FWorkArrived;
    std::deque<std::function<void()>> FJobs;
    bool FWoken = false;
};

class IHost {
public:
    virtual ~IHost() = default;
    // A modal message box; callable from any thread, returns the button pressed.
    virtual int MessageBox(const std::string& text, const std::string& caption, int flags) = 0;
    // Runs fn on the main thread later, after the work posted before it; never waits.
    // Work still queued when the host goes away is dropped. Threads of ours reach the main
    // thread through a THandOver (platform/HandOver.h), which their owner can close.
    virtual void Post(std::function<void()> fn) = 0;
    // True on the thread that runs posted work.
    [[nodiscard]] virtual bool IsMainThread() const = 0;
    // Shows or clears the busy mouse pointer; does nothing where there is no pointer.
    virtual void SetBusyCursor(bool busy) = 0;

    // Runs fn on the main thread and waits until it has run (at once on the main thread):
    // for a host's own calls from other threads (a message box). Nothing can release the
    // wait; threads of ours use a THandOver, which their owner can close.
    void RunOnMainThread(const std::function<void()>& fn);
};

// The host in use on the calling thread: the one WithThreadHost put on it (an upgrade
// worker's, which reaches the main thread through the worker's hand-over), else the
// current context's (platform/Context.h).
[[nodiscard]] IHost& Host();
// Installs a host in the current context (not owned; must outlive its use). nullptr goes
// back to the context's console host.
void SetHost(IHost* host);

// Runs fn with host on the calling thread, in front of the context's; the thread's host
// before is back when fn returns or throws.
void WithThreadHost(IHost& host, const std::function<void()>& fn);

// The host of the command line: boxes go to standard error as caption ": " text; a Yes/No
// question is asked on the terminal when standard input is one and answered otherwise by
// the default answer (No unless SetDefaultAnswer says Yes).
class TConsoleHost : public IHost {
public:
    int MessageBox(const std::string& text, const std::string& caption, int flags) override;
    void Post(std::function<void()> fn) override { FQueue.Post(std::move(fn)); }
    [[nodiscard]] bool IsMainThread() const override { return FQueue.IsMainThread(); }
    void SetBusyCursor(bool) override {}

    void SetDefaultAnswer(int answer) { FDefaultAnswer = answer; }
    [[nodiscard]] TMainQueue& Queue() { return FQueue; }

private:
    TMainQueue FQueue;
    std::mutex FBoxLock;
    int FDefaultAnswer = IDNO;
};

} // namespace torvane::platform
