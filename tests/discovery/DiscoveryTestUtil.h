#pragma once
// Shared pieces of the search tests: a fixture that keeps every probe on loopback and
// delivers hand-overs through a queue the test drains, and builders of camera replies.

#include "i18n/Deployment.h"
#include "platform/Host.h"
#include "platform/Socket.h"
#include "support/TestHost.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace torvane::test {

class TDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetBroadcastAddress("127.0.0.1");
        Host.UseQueue = true;
        Host.Queue().BindToCurrentThread();
        platform::SetHost(&Host);
    }
    void TearDown() override { platform::SetHost(nullptr); }

    // Runs the queued hand-overs until done() holds or timeoutMs (real time) has passed.
    bool DrainUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            Host.Queue().WaitAndRun(5);
        }
        return true;
    }

    TTestHost Host;
};

// A UDP port that was free a moment ago (bound by the system's choice and released).
inline std::uint16_t FreeUdpPort() {
    platform::TUdpSocket s;
    if (!s.Create() || !s.Bind(platform::IPv4Any, 0)) {
        return 0;
    }
    return s.LocalPort();
}

inline void PutText(std::string& d, std::size_t offset, const std::string& text) {
    d.replace(offset, text.size(), text);
}

inline void Put16LE(std::string& d, std::size_t offset, std::uint16_t v) {
    d[offset] = static_cast<char>(v & 0xFF);
    d[offset + 1] = static_cast<char>(v >> 8);
}

inline void Put32LE(std::string& d, std::size_t offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        d[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

// A MO_I search answer (operation 1) of the given content length, 23 + length bytes.
inline std::string MoiReply(const std::string& id, const std::string& name, std::uint8_t ipLast,
                            std::uint32_t contentLength = 64) {
    std::string d(23 + contentLength, '\0');
    PutText(d, 0, "MO_I");
    Put16LE(d, 4, 1);
    Put32LE(d, 15, contentLength);
    PutText(d, 23, id);
    PutText(d, 36, name);
    const char ip[4] = {'\xC0', '\xA8', '\x01', static_cast<char>(ipLast)};
    d.replace(57, 4, ip, 4);
    d[85] = '\x1F';
    d[86] = '\x90';
    return d;
}

// A 1010 datagram: header with the code, then zero bytes up to size.
inline std::string Msg1010(std::uint16_t code, std::size_t size) {
    std::string d(size, '\0');
    d[0] = d[1] = '\x10';
    Put16LE(d, 2, code);
    return d;
}

// A 1010 device information message for the MAC bytes 00 11 22 33 44 <last>.
inline std::string Info1010(std::uint8_t macLast, const std::string& ip,
                            const std::string& name, const std::string& version = "v1") {
    std::string d = Msg1010(0x8F12, 136);
    PutText(d, 8, ip);
    const char mac[6] = {0, 0x11, 0x22, 0x33, 0x44, static_cast<char>(macLast)};
    d.replace(96, 6, mac, 6);
    PutText(d, 112, name);
    d += version;
    d += '\0';
    return d;
}

// A T-series search reply of the given size.
inline std::string T924Reply(const std::string& ip, std::uint8_t macLast,
                             std::size_t size = 516) {
    std::string d(size, '\0');
    d[0] = 'D';
    d[1] = 'H';
    d[2] = 1;
    d[3] = 8;
    PutText(d, 4, ip);
    const char mac[6] = {0, 0x1A, 0x2B, 0x3C, 0x4D, static_cast<char>(macLast)};
    d.replace(84, 6, mac, 6);
    d[90] = 0x51;
    return d;
}

} // namespace torvane::test
