#pragma once

#include "Loopback.h"

#include <string>

namespace camsim {

// Owns one file descriptor and closes it; move-only.
class TSocket {
public:
    TSocket() = default;
    explicit TSocket(int fd) : FFd(fd) {}
    ~TSocket() { Close(); }
    TSocket(TSocket&& other) noexcept : FFd(other.Release()) {}
    TSocket& operator=(TSocket&& other) noexcept;
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;

    [[nodiscard]] int Fd() const { return FFd; }
    [[nodiscard]] bool IsOpen() const { return FFd >= 0; }
    int Release();
    void Close();

private:
    int FFd = -1;
};

// A non-blocking TCP listener on the endpoint (SO_REUSEADDR, so a rebooting camera can
// listen again at once). Port 0 picks a free port, which the endpoint then holds.
// Throws TRuntimeError with the system's reason when the address cannot be bound.
[[nodiscard]] TSocket ListenTcp(TLoopbackEndpoint& endpoint);

void SetNonBlocking(int fd);

// Text of errno for messages.
[[nodiscard]] std::string SystemError(int error);

} // namespace camsim
