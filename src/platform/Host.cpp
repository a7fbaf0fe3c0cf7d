#include "platform/Host.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace torvane::platform {

namespace {

TConsoleHost& DefaultHost() {
    static TConsoleHost host;
    return host;
}

std::atomic<IHost*> GHost{nullptr};

bool HasYesNo(int flags) {
    return (flags & 0x0F) == MB_YESNO;
}

} // namespace

IHost& Host() {
    IHost* h = GHost.load();
    return h != nullptr ? *h : DefaultHost();
}

void SetHost(IHost* host) {
    GHost.store(host);
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

void TMainQueue::RunAndWait(const std::function<void()>& fn) {
    if (IsMainThread()) {
        fn();
        return;
    }
    TJob job{fn, false};
    std::unique_lock<std::mutex> lk(FLock);
    FJobs.push_back(&job);
    FWorkArrived.notify_all();
    FJobDone.wait(lk, [&] { return job.Done; });
}

void TMainQueue::RunPending() {
    for (;;) {
        TJob* job = nullptr;
        {
            std::lock_guard<std::mutex> g(FLock);
            if (FJobs.empty()) {
                return;
            }
            job = FJobs.front();
            FJobs.pop_front();
        }
        try {
            job->Fn();
        } catch (...) {
            // A failing delivery must not leave its sender waiting for ever.
        }
        std::lock_guard<std::mutex> g(FLock);
        job->Done = true;
        FJobDone.notify_all();
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

void TConsoleHost::RunOnMainThread(const std::function<void()>& fn) {
    FQueue.RunAndWait(fn);
}

} // namespace torvane::platform
