#pragma once
// Shared helpers of the test executables: sleeper scopes, loopback-only set-up, scratch
// files. The test doubles (TestHost.h, FakeSleeper.h, and for the window QtTestHost.h) and
// the loopback peers (LoopbackHttpServer.h, LoopbackTcpPeer.h, LoopbackUdpPeer.h) live
// beside this file.

#include "platform/Sleeper.h"
#include "support/FakeSleeper.h"

#include <cstdint>
#include <string>

namespace torvane::test {

// Makes every HTTP client of the process reach 127.0.0.1 and localhost directly, whatever
// proxy the environment names (no_proxy / NO_PROXY gain both). Idempotent; the loopback
// servers call it, so a test seldom needs to.
void EnsureLoopbackDirect();

// Installs a sleeper for the scope and restores the real one at its end.
class TSleeperScope {
public:
    explicit TSleeperScope(platform::ISleeper& sleeper) { platform::SetSleeper(&sleeper); }
    TSleeperScope(const TSleeperScope&) = delete;
    TSleeperScope& operator=(const TSleeperScope&) = delete;
    ~TSleeperScope() { platform::SetSleeper(nullptr); }
};

// A fake sleeper (waits return at once and are recorded; deadlines divided by
// TimeoutDivisor, at least MinTimeoutMs) installed for the scope.
class TFakeSleeperScope {
public:
    explicit TFakeSleeperScope(int timeoutDivisor = 40, int minTimeoutMs = 50) {
        Sleeper.TimeoutDivisor = timeoutDivisor;
        Sleeper.MinTimeoutMs = minTimeoutMs;
        platform::SetSleeper(&Sleeper);
    }
    TFakeSleeperScope(const TFakeSleeperScope&) = delete;
    TFakeSleeperScope& operator=(const TFakeSleeperScope&) = delete;
    ~TFakeSleeperScope() { platform::SetSleeper(nullptr); }

    TFakeSleeper Sleeper;
};

// A TCP port on 127.0.0.1 that nothing listens on (bound once by the system's choice and
// released), for "connection refused" cases.
[[nodiscard]] std::uint16_t UnusedLoopbackTcpPort();

// A fresh path inside the private temporary folder (TMPDIR is per test executable under
// ctest): prefix + a counter + the process id. The file is not created.
[[nodiscard]] std::string ScratchPath(const std::string& prefix);
// The whole content of a file; empty when it cannot be read.
[[nodiscard]] std::string ReadWholeFile(const std::string& path);
[[nodiscard]] bool WriteWholeFile(const std::string& path, const std::string& data);

// True for a dotted address in 127.0.0.0/8. The peers refuse to send anywhere else.
[[nodiscard]] bool IsLoopbackAddress(std::uint32_t address);

} // namespace torvane::test
