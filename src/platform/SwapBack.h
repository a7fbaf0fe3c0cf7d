#pragma once
// Something installed for a scope: a value goes into a slot (a plain variable, a
// thread-local one or an atomic) for the scope's life, and the one it replaced comes back at
// its end, so scopes nest.

#include <atomic>
#include <utility>

namespace torvane::platform {

template <typename T> T SwapIn(T& slot, T value) {
    return std::exchange(slot, value);
}

template <typename T> T SwapIn(std::atomic<T>& slot, T value) {
    return slot.exchange(value);
}

template <typename Slot, typename T> class TSwapBack {
public:
    TSwapBack(Slot& slot, T value) : FSlot(slot), FPrevious(SwapIn(slot, value)) {}
    ~TSwapBack() { SwapIn(FSlot, FPrevious); }
    TSwapBack(const TSwapBack&) = delete;
    TSwapBack& operator=(const TSwapBack&) = delete;

private:
    Slot& FSlot;
    T FPrevious;
};

} // namespace torvane::platform
