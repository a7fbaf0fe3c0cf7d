#include "support/TestSupport.h"

#include "platform/Folders.h"
#include "platform/Socket.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <unistd.h>

namespace torvane::test {

namespace {

void AddNoProxy(const char* name) {
    const char* current = std::getenv(name);
    std::string value = current != nullptr ? current : "";
    for (const char* host : {"127.0.0.1", "localhost"}) {
        if (value.find(host) == std::string::npos) {
            value += value.empty() ? "" : ",";
            value += host;
        }
    }
    ::setenv(name, value.c_str(), 1);
}

} // namespace

void EnsureLoopbackDirect() {
    static std::once_flag once;
    std::call_once(once, [] {
        AddNoProxy("no_proxy");
        AddNoProxy("NO_PROXY");
    });
}

std::uint16_t UnusedLoopbackTcpPort() {
    platform::TTcpListener probe;
    if (!probe.Listen(platform::IPv4Loopback, 0, 1, false)) {
        return 0;
    }
    // Closing a listener without connections leaves no TIME_WAIT: the port is free again
    // and, the ephemeral range being large, not soon handed out to anyone else.
    return probe.LocalPort();
}

std::string ScratchPath(const std::string& prefix) {
    static std::atomic<int> counter{0};
    return platform::TempFolder() + prefix + "-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1));
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool WriteWholeFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

bool IsLoopbackAddress(std::uint32_t address) {
    return (address >> 24) == 127;
}

} // namespace torvane::test
