#pragma once
// How threads of ours reach the main thread. Whoever owns a thread owns the hand-over it
// uses, and ends the thread in two steps: close the hand-over, then join. Closing releases
// every wait on the main thread at once and drops work that has not begun, so the join
// never waits for the main thread, which is the thread that joins (the rule of
// docs/ARCHITECTURE.md, "Threads").
//
// THandOver: "run this on the main thread" with or without waiting for it (the worker's
// log lines and its questions wait; its completion does not). TMailbox: items a thread
// receives and the main thread handles one at a time, in order, without the receiving
// thread waiting for each (the LAN search's datagrams, the T-series replies).

#include "platform/Diag.h"
#include "platform/Host.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace torvane::platform {

class THandOver {
public:
    // host: whose main thread runs the work; it must outlive the hand-over's work.
    explicit THandOver(IHost& host = platform::Host());
    ~THandOver(); // closes
    THandOver(const THandOver&) = delete;
    THandOver& operator=(const THandOver&) = delete;

    // Runs fn on the main thread and waits until it has run; at once when called there.
    // False, and fn not run, when the hand-over was closed before fn began. An error
    // thrown by fn is caught there (a diagnostic line) and counts as run.
    bool Call(const std::function<void()>& fn);
    // Runs fn on the main thread later and returns at once. False when closed; work that
    // has not begun when the hand-over closes never runs.
    bool Post(std::function<void()> fn);
    // Any thread. Waiting calls return false at once, later ones do not wait. Called on
    // the main thread, nothing of this hand-over runs any more once it returns.
    void Close();
    [[nodiscard]] bool Closed() const;
    [[nodiscard]] IHost& Host() const { return FHost; }

private:
    struct TState;
    IHost& FHost;
    std::shared_ptr<TState> FState;
};

template <class T> class TMailbox {
public:
    using THandler = std::function<void(T& item)>;

    // handler runs on host's main thread for each item; at most capacity items wait.
    TMailbox(IHost& host, THandler handler, std::size_t capacity)
        : FState(std::make_shared<TState>(host, std::move(handler), capacity)) {}
    ~TMailbox() { Close(); }
    TMailbox(const TMailbox&) = delete;
    TMailbox& operator=(const TMailbox&) = delete;

    // Any thread. False, and the item dropped, when closed or when capacity items wait.
    bool Put(T item) {
        bool post = false;
        {
            std::lock_guard<std::mutex> g(FState->Lock);
            if (FState->Closed || FState->Items.size() >= FState->Capacity) {
                return false;
            }
            FState->Items.push_back(std::move(item));
            post = !std::exchange(FState->DrainPosted, true);
        }
        if (post) {
            Schedule(FState);
        }
        return true;
    }
    // Like THandOver::Close; the items still waiting are dropped.
    void Close() {
        std::deque<T> dropped;
        std::lock_guard<std::mutex> g(FState->Lock);
        FState->Closed = true;
        dropped.swap(FState->Items);
    }
    [[nodiscard]] bool Closed() const {
        std::lock_guard<std::mutex> g(FState->Lock);
        return FState->Closed;
    }
    [[nodiscard]] std::size_t Waiting() const {
        std::lock_guard<std::mutex> g(FState->Lock);
        return FState->Items.size();
    }

private:
    struct TState {
        TState(IHost& host, THandler handler, std::size_t capacity)
            : Host(host), Handler(std::move(handler)), Capacity(capacity) {}
        IHost& Host;
        THandler Handler;
        std::size_t Capacity;
        std::mutex Lock;
        std::deque<T> Items;
        bool Closed = false;
        bool DrainPosted = false;
    };

    static void Schedule(const std::shared_ptr<TState>& state) {
        state->Host.Post([state] { Drain(state); });
    }

    // On the main thread: the items that were waiting when it began, then it makes way
    // for the rest of the main thread's work and comes back for later ones.
    static void Drain(const std::shared_ptr<TState>& state) {
        std::size_t batch = 0;
        {
            std::lock_guard<std::mutex> g(state->Lock);
            batch = state->Items.size();
        }
        for (std::size_t i = 0; i < batch; ++i) {
            T item;
            {
                std::lock_guard<std::mutex> g(state->Lock);
                if (state->Closed) {
                    return;
                }
                if (state->Items.empty()) {
                    break;
                }
                item = std::move(state->Items.front());
                state->Items.pop_front();
            }
            try {
                state->Handler(item);
            } catch (...) {
                DiagCaught(EDiag::Host, "an item handed to the main thread");
            }
        }
        bool again = false;
        {
            std::lock_guard<std::mutex> g(state->Lock);
            again = !state->Closed && !state->Items.empty();
            state->DrainPosted = again;
        }
        if (again) {
            Schedule(state);
        }
    }

    std::shared_ptr<TState> FState;
};

} // namespace torvane::platform
