#pragma once
// A CTP camera on a loopback address (127.0.0.1 by default, ephemeral port) that speaks the
// protocol instead of following a fixed script. Its first connection is the configuration
// mode (a cfgusr login, answered "200 OK", and an exit); the next one the upgrade mode
// (the probe and the FILE, DATA, MD5 and CMD frames, each answered "REPLY OK", a digest
// first with "REPLY Continue 1" while the camera writes its flash); every later connection
// is taken and closed (the camera is back after its reboot).
//
//     TLoopbackCtpCamera camera({.ByteByByte = true});
//     UploadPackage(path, "127.0.0.1", camera.Port(), "admin", "", message);
//     EXPECT_EQ(camera.Heard().front(), "CMD cfgusr CTP/1.0");
//
// Hostile habits are switched on through TCtpCameraHabits. Every wait is bounded and ends
// at once when the camera is destroyed; waits are real time (the sleeper does not shorten
// them).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace torvane::test {

struct TCtpCameraHabits {
    // Every answer and reply goes out one byte per TCP segment, ByteGapMs apart.
    bool ByteByByte = false;
    int ByteGapMs = 2;
    // "Progress: 50" CR LF follows each Continue line in the same send.
    bool ProgressAfterContinue = false;
    // The login is read and never answered; the connection stays open until the client
    // closes it.
    bool SilentLogin = false;
    // The answer to the login.
    std::string LoginAnswer = "200 OK\r\n";
};

class TLoopbackCtpCamera {
public:
    // Listens on address (in 127.0.0.0/8); throws std::runtime_error when it cannot.
    explicit TLoopbackCtpCamera(TCtpCameraHabits habits = {},
                                const std::string& address = "127.0.0.1");
    TLoopbackCtpCamera(const TLoopbackCtpCamera&) = delete;
    TLoopbackCtpCamera& operator=(const TLoopbackCtpCamera&) = delete;
    ~TLoopbackCtpCamera();

    [[nodiscard]] std::uint16_t Port() const { return FPort; }

    // The request lines and frame headers in the order they came ("CMD cfgusr CTP/1.0",
    // "CMD exit CTP/1.0", "CMD 10", "FILE 7", "DATA 5", "MD5 16", ...).
    [[nodiscard]] std::vector<std::string> Heard() const;
    // The body of the last login ("-login admin:" CR LF CR LF).
    [[nodiscard]] std::string LoginBody() const;
    // Connections accepted so far.
    [[nodiscard]] std::size_t Connections() const;
    // Waits (real time) until every connection accepted so far has been served.
    bool WaitUntilIdle(int timeoutMs) const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
    std::uint16_t FPort = 0;
};

} // namespace torvane::test
