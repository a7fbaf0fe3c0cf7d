#include "platform/Host.h"

#include "platform/Context.h"
#include "platform/Diag.h"
#include "platform/HandOver.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <utility>
#include <unistd.h>

namespace torvane::platform {

namespace {

// A worker's host on the worker's own thread (WithThreadHost).
thread_local IHost* TThreadHostOf = nullptr;

bool HasYesNo(int flags) {
    return (flags & 0x0F) == MB_YESNO;
}

} // namespace

IHost& Host() {
    return TThreadHostOf != nullptr ? *TThreadHostOf : Context().Host();
}

void SetHost(IHost* host) {
    Context().SetHost(host);
}

void WithThreadHost(IHost& host, const std::function<void()>& fn) {
    struct TRestore {
        IHost* Previous;
        ~TRestore() { TThreadHostOf = Previous; }
    } restore{std::exchange(TThreadHostOf, &host)};
    fn();
}

void IHost::RunOnMainThread(const std::function<void()>& fn) {
    THandOver(*this).Call(fn);
}

// --- TMainQueue -------------------------------------------------------------------------

TMainQueue::TMainQueue() : FMainThread(std::this_thread::get_id()) {}

void TMainQueue::BindToCurrentThread() {
    std::lock_guard<std::mutex> g(FLock);
    FMainThread = std::this_thread::get_id();
}

bool TMainQueue::IsMainThread() const {
    std::lock_guard<std::mutex> g(FLock);
    return FMainThread == std::this_thread::get_id();
}

void TMainQueue::Post(std::function<void()> fn) {
    std::lock_guard<std::mutex> g(FLock);
    FJobs.push_back(std::move(fn));
    FWorkArrived.notify_all();
}

void TMainQueue::RunAndWait(const std::function<void()>& fn) {
    if (IsMainThread()) {
        fn();
        return;
    }
    bool done = false;
    std::condition_variable doneChanged;
    Post([&] {
        try {
            fn();
        } catch (...) {
            DiagCaught(EDiag::Host, "work handed to the main thread");
        }
        std::lock_guard<std::mutex> g(FLock);
        done = true;
        doneChanged.notify_all();
    });
    std::unique_lock<std::mutex> lk(FLock);
    doneChanged.wait(lk, [&] { return done; });
}

void TMainQueue::RunPending() {
    for (;;) {
        std::function<void()> job;
        {
            std::lock_guard<std::mutex> g(FLock);
            if (FJobs.empty()) {
                return;
            }
            job = std::move(FJobs.front());
            FJobs.pop_front();
        }
        try {
            job();
        } catch (...) {
            // The work that failed goes; the queue keeps serving the rest.
            DiagCaught(EDiag::Host, "work queued for the main thread");
        }
    }
}

void TMainQueue::WaitAndRun(int timeoutMs) {
    {
        std::unique_lock<std::mutex> lk(FLock);
        FWorkArrived.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                              [&] { return !FJobs.empty() || FWoken; });
        FWoken = false;
    }
    RunPending();
}

void TMainQueue::Wake() {
    std::lock_guard<std::mutex> g(FLock);
    FWoken = true;
    FWorkArrived.notify_all();
}

// --- TConsoleHost -----------------------------------------------------------------------

int TConsoleHost::MessageBox(const std::string& text, const std::string& caption, int flags) {
    std::lock_guard<std::mutex> g(FBoxLock);
    if (!HasYesNo(flags)) {
        std::cerr << caption << ": " << text << std::endl;
        return IDOK;
    }
    if (::isatty(STDIN_FILENO) == 0) {
        std::cerr << caption << ": " << text << " [" << (FDefaultAnswer == IDYES ? "yes" : "no")
                  << "]" << std::endl;
        return FDefaultAnswer;
    }
    for (;;) {
        std::cerr << caption << ": " << text << " [y/n] " << std::flush;
        std::string answer;
        if (!std::getline(std::cin, answer)) {
            return IDNO;
        }
        if (answer == "y" || answer == "Y" || answer == "yes") {
            return IDYES;
        }
        if (answer == "n" || answer == "N" || answer == "no") {
            return IDNO;
        }
    }
}

} // namespace torvane::platform
