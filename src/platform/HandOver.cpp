#include "platform/HandOver.h"

namespace torvane::platform {

struct THandOver::TState {
    std::mutex Lock;
    std::condition_variable Changed;
    bool Closed = false;
};

namespace {

// One waiting Call's work: not begun, running, or done.
struct TCallJob {
    bool Running = false;
    bool Done = false;
};

} // namespace

THandOver::THandOver(IHost& host) : FHost(host), FState(std::make_shared<TState>()) {}

THandOver::~THandOver() {
    Close();
}

bool THandOver::Call(const std::function<void()>& fn) {
    if (FHost.IsMainThread()) {
        if (Closed()) {
            return false;
        }
        try {
            fn();
        } catch (...) {
            DiagCaught(EDiag::Host, "work handed to the main thread");
        }
        return true;
    }
    auto job = std::make_shared<TCallJob>();
    {
        std::lock_guard<std::mutex> g(FState->Lock);
        if (FState->Closed) {
            return false;
        }
    }
    // fn is the caller's, which waits below as long as the job may still begin.
    FHost.Post([state = FState, job, &fn] {
        {
            std::lock_guard<std::mutex> g(state->Lock);
            if (state->Closed) {
                return;
            }
            job->Running = true;
        }
        try {
            fn();
        } catch (...) {
            DiagCaught(EDiag::Host, "work handed to the main thread");
        }
        std::lock_guard<std::mutex> g(state->Lock);
        job->Running = false;
        job->Done = true;
        state->Changed.notify_all();
    });
    std::unique_lock<std::mutex> lk(FState->Lock);
    FState->Changed.wait(lk, [&] { return job->Done || (FState->Closed && !job->Running); });
    return job->Done;
}

bool THandOver::Post(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> g(FState->Lock);
        if (FState->Closed) {
            return false;
        }
    }
    FHost.Post([state = FState, fn = std::move(fn)] {
        {
            std::lock_guard<std::mutex> g(state->Lock);
            if (state->Closed) {
                return;
            }
        }
        try {
            fn();
        } catch (...) {
            DiagCaught(EDiag::Host, "work handed to the main thread");
        }
    });
    return true;
}

void THandOver::Close() {
    std::lock_guard<std::mutex> g(FState->Lock);
    FState->Closed = true;
    FState->Changed.notify_all();
}

bool THandOver::Closed() const {
    std::lock_guard<std::mutex> g(FState->Lock);
    return FState->Closed;
}

} // namespace torvane::platform
