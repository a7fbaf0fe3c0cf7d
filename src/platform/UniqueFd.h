#pragma once
// One owner of a file descriptor: closed when the owner goes, unless it was released.

#include <unistd.h>

#include <utility>

namespace torvane::platform {

class TUniqueFd {
public:
    explicit TUniqueFd(int fd = -1) : FFd(fd) {}
    TUniqueFd(const TUniqueFd&) = delete;
    TUniqueFd& operator=(const TUniqueFd&) = delete;
    ~TUniqueFd() { (void)Close(); }

    [[nodiscard]] int Get() const { return FFd; }
    // Gives the descriptor up without closing it.
    [[nodiscard]] int Release() { return std::exchange(FFd, -1); }
    // Closes the one held and takes fd.
    void Reset(int fd) {
        (void)Close();
        FFd = fd;
    }
    // False when close() reports an error (a write that did not reach the file).
    bool Close() {
        if (FFd < 0) {
            return true;
        }
        return ::close(std::exchange(FFd, -1)) == 0;
    }

private:
    int FFd;
};

} // namespace torvane::platform
