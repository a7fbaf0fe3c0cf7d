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

// Message-box flags and results, with the values the cameras' original tool used.
constexpr int MB_OK = 0x00;
constexpr int MB_YESNO = 0x04;
constexpr int MB_ICONERROR = 0x10;
constexpr int MB_ICONQUESTION = 0x20;
constexpr int MB_ICONWARNING = 0x30;
constexpr int MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// A queue that one thread (the main thread of a host without an event loop) drains, for
// "run on the main thread and wait".
class TMainQueue {
public:
    TMainQueue();
    // Makes the calling thread the main thread.
    void BindToCurrentThread();
    [[nodiscard]] bool IsMainThread() const;
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
    struct TJob {
        std::function<void()> Fn;
        bool Done = false;
    };
    std::thread::id FMainThread;
    mutable std::mutex FLock;
    std::condition_variable FWorkArrived;
    std::condition_variable FJobDone;
    std::deque<TJob*> FJobs;
    bool FWoken = false;
};

class IHost {
public:
    virtual ~IHost() = default;
    // A modal message box; callable from any thread, returns the button pressed.
    virtual int MessageBox(const std::string& text, const std::string& caption, int flags) = 0;
    // Runs fn on the main thread and waits until it has run. Called on the main thread
    // itself, it runs fn at once.
    virtual void RunOnMainThread(const std::function<void()>& fn) = 0;
    // Shows or clears the busy mouse pointer; does nothing where there is no pointer.
    virtual void SetBusyCursor(bool busy) = 0;
    // The queue through which RunOnMainThread reaches the main thread, when the main thread
    // drains it by hand (a host without an event loop); nullptr when an event loop serves
    // the hand-overs or they run where they are asked for. Whoever waits on the main
    // thread for a thread that may be handing something over runs this queue meanwhile.
    [[nodiscard]] virtual TMainQueue* MainQueue() { return nullptr; }
};

// The host in use. Until SetHost is called it is a console host.
[[nodiscard]] IHost& Host();
// Installs a host (not owned; must outlive its use). nullptr goes back to the console host.
void SetHost(IHost* host);

// The host of the command line: boxes go to standard error as caption ": " text; a Yes/No
// question is asked on the terminal when standard input is one and answered otherwise by
// the default answer (No unless SetDefaultAnswer says Yes).
class TConsoleHost : public IHost {
public:
    int MessageBox(const std::string& text, const std::string& caption, int flags) override;
    void RunOnMainThread(const std::function<void()>& fn) override;
    void SetBusyCursor(bool) override {}
    [[nodiscard]] TMainQueue* MainQueue() override { return &FQueue; }

    void SetDefaultAnswer(int answer) { FDefaultAnswer = answer; }
    [[nodiscard]] TMainQueue& Queue() { return FQueue; }

private:
    TMainQueue FQueue;
    std::mutex FBoxLock;
    int FDefaultAnswer = IDNO;
};

} // namespace torvane::platform
