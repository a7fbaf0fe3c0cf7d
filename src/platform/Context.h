#pragma once
// The context: everything a program (or one test) runs with that is not handed along call
// by call. It owns the host, the sleeper and the diagnostic log's switches, and one part
// per layer above for that layer's own state (the deployment settings, the adapter
// factory, the T-series client, the CTP search ports). The window and torvane-cli make one
// at their start and install it for their whole run; every test gets a fresh one
// (tests/support/TestMain.cpp), so no test sees what an earlier one set.
//
// Several upgrade runs at once share one context: what they read from it is set before
// they start (settings, factory) or is safe for concurrent use (the host, the sleeper, the
// diagnostic log, the T-series client). Nothing a run does changes it for another run.

#include "platform/Diag.h"
#include "platform/Host.h"
#include "platform/Sleeper.h"
#include "platform/SwapBack.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <typeindex>
#include <utility>
#include <vector>

namespace torvane::platform {

// Neither copied nor moved (it holds a mutex): it is made where it is used.
class TContext {
public:
    TContext();
    // Parts go first, the newest first (a part may use an older one while it ends).
    ~TContext();

    // The host: the console host until SetHost (not owned; it must outlive its use).
    [[nodiscard]] IHost& Host() const;
    void SetHost(IHost* host);
    // The sleeper: the real one until SetSleeper (not owned).
    [[nodiscard]] ISleeper& Sleeper() const;
    void SetSleeper(ISleeper* sleeper);
    // The diagnostic log: off until a program switches it on.
    [[nodiscard]] TDiagLog& Diag() { return FDiag; }

    // The part of type T, made (default-constructed) on first use and kept until the
    // context ends. Safe from any thread; T's constructor may ask for other parts.
    template <class T> T& Part() {
        const std::type_index type(typeid(T));
        if (void* found = FindPart(type)) {
            return *static_cast<T*>(found);
        }
        auto made = std::make_shared<T>();
        return *static_cast<T*>(AddPart(type, std::move(made)));
    }

private:
    [[nodiscard]] void* FindPart(std::type_index type) const;
    // Keeps part unless another thread was first; returns the part that is kept.
    void* AddPart(std::type_index type, std::shared_ptr<void> part);

    mutable TConsoleHost FConsoleHost;
    std::atomic<IHost*> FHost{nullptr};
    mutable TRealSleeper FRealSleeper;
    std::atomic<ISleeper*> FSleeper{nullptr};
    TDiagLog FDiag;
    mutable std::mutex FPartsLock;
    std::vector<std::pair<std::type_index, std::shared_ptr<void>>> FParts;
};

// The context in use: the one the innermost TContextScope installed, else the process's
// own (made on first use, for code that runs outside a program's run).
[[nodiscard]] TContext& Context();

// Installs a context for its life and puts the previous one back at its end. Made and
// ended on the program's (or test's) main thread, when no thread of the context runs.
class TContextScope : TSwapBack<std::atomic<TContext*>, TContext*> {
public:
    explicit TContextScope(TContext& context);
};

} // namespace torvane::platform
