#include "platform/Context.h"

#include <utility>

namespace torvane::platform {

namespace {

std::atomic<TContext*> GInstalled{nullptr};
// The context whose parts the calling thread is destroying: to them, it is the current one.
thread_local TContext* TEnding = nullptr;

// The context of code that runs outside a program's or a test's run.
TContext& ProcessContext() {
    static TContext context;
    return context;
}

} // namespace

TContext::TContext() = default;

TContext::~TContext() {
    // Newest first; each part is destroyed outside the lock, so that it may still ask
    // for an older part of this context while it ends.
    TContext* const outer = std::exchange(TEnding, this);
    for (;;) {
        std::shared_ptr<void> last;
        {
            std::lock_guard<std::mutex> g(FPartsLock);
            if (FParts.empty()) {
                break;
            }
            last = std::move(FParts.back().second);
            FParts.pop_back();
        }
        last.reset();
    }
    TEnding = outer;
}

IHost& TContext::Host() const {
    IHost* host = FHost.load();
    return host != nullptr ? *host : FConsoleHost;
}

void TContext::SetHost(IHost* host) {
    FHost.store(host);
}

ISleeper& TContext::Sleeper() const {
    ISleeper* sleeper = FSleeper.load();
    return sleeper != nullptr ? *sleeper : FRealSleeper;
}

void TContext::SetSleeper(ISleeper* sleeper) {
    FSleeper.store(sleeper);
}

void* TContext::FindPart(std::type_index type) const {
    std::lock_guard<std::mutex> g(FPartsLock);
    for (const auto& [t, part] : FParts) {
        if (t == type) {
            return part.get();
        }
    }
    return nullptr;
}

void* TContext::AddPart(std::type_index type, std::shared_ptr<void> part) {
    std::shared_ptr<void> unused; // another thread's was first: ours goes outside the lock
    std::lock_guard<std::mutex> g(FPartsLock);
    for (const auto& [t, kept] : FParts) {
        if (t == type) {
            unused = std::move(part);
            return kept.get();
        }
    }
    FParts.emplace_back(type, std::move(part));
    return FParts.back().second.get();
}

TContext& Context() {
    if (TEnding != nullptr) {
        return *TEnding;
    }
    TContext* installed = GInstalled.load();
    return installed != nullptr ? *installed : ProcessContext();
}

TContextScope::TContextScope(TContext& context) : TSwapBack(GInstalled, &context) {}

} // namespace torvane::platform
