#pragma once
// A value that several threads read and set: every access holds its own mutex. For the
// settings and names a program reads now and then (the language, the firmware server), not
// for work that must see several values change together.

#include <mutex>
#include <utility>

namespace torvane::platform {

template <typename T>
class TLocked {
public:
    TLocked() = default;
    explicit TLocked(T value) : FValue(std::move(value)) {}
    TLocked(const TLocked&) = delete;
    TLocked& operator=(const TLocked&) = delete;

    [[nodiscard]] T Get() const {
        const std::lock_guard<std::mutex> g(FLock);
        return FValue;
    }
    void Set(T value) {
        const std::lock_guard<std::mutex> g(FLock);
        FValue = std::move(value);
    }
    // Runs f(value&) under the lock and gives what it returns.
    template <typename F>
    decltype(auto) With(F&& f) {
        const std::lock_guard<std::mutex> g(FLock);
        return std::forward<F>(f)(FValue);
    }

private:
    mutable std::mutex FLock;
    T FValue{};
};

} // namespace torvane::platform
