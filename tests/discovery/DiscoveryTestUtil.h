#pragma once
// Shared pieces of the search tests: a fixture that keeps every probe on loopback and
// delivers hand-overs through a queue the test drains, and builders of camera replies.
// The builders write through the layouts the parsers read (discovery/ReplyLayouts.h,
// series/T924Datagram.h); the layout tests themselves name the wire offsets as numbers,
// so a wrong field in a layout shows there.

#include "discovery/ReplyLayouts.h"
#include "i18n/Deployment.h"
#include "platform/ByteWriter.h"
#include "platform/Host.h"
#include "platform/Socket.h"
#include "series/T924Datagram.h"
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

// A MO_I search answer (operation 1) of the given content length, 23 + length bytes.
inline std::string MoiReply(const std::string& id, const std::string& name, std::uint8_t ipLast,
                            std::uint32_t contentLength = 64) {
    std::string d(moi::HeaderSize + contentLength, '\0');
    platform::TByteWriter w(d);
    w.Bytes(moi::MagicField.Offset, moi::Magic);
    w.U16LE(moi::Operation, moi::OpSearchAnswer);
    w.U32LE(moi::ContentLength, contentLength);
    w.Bytes(moi::CameraId.Offset, id);
    w.Bytes(moi::Name.Offset, name);
    w.Bytes(moi::Address.Offset, std::string{'\xC0', '\xA8', '\x01', static_cast<char>(ipLast)});
    w.U16BE(moi::Port, 8080);
    return d;
}

// A 1010 datagram: header with the code, then zero bytes up to size.
inline std::string Msg1010(std::uint16_t code, std::size_t size) {
    std::string d(size, '\0');
    platform::TByteWriter w(d);
    w.U8(0, m1010::Magic);
    w.U8(1, m1010::Magic);
    w.U16LE(m1010::Code, code);
    return d;
}

// A 1010 device information message for the MAC bytes 00 11 22 33 44 <last>.
inline std::string Info1010(std::uint8_t macLast, const std::string& ip,
                            const std::string& name, const std::string& version = "v1") {
    std::string d = Msg1010(0x8F12, m1010::InfoVersionFrom);
    platform::TByteWriter w(d);
    w.Bytes(m1010::InfoAddresses.Offset, ip);
    w.Bytes(m1010::InfoMac.Offset, std::string{0, 0x11, 0x22, 0x33, 0x44, static_cast<char>(macLast)});
    w.Bytes(m1010::InfoName.Offset, name);
    d += version;
    d += '\0';
    return d;
}

// A T-series search reply of the given size.
inline std::string T924Reply(const std::string& ip, std::uint8_t macLast,
                             std::size_t size = t924::ReplyReadSize) {
    std::string d(size, '\0');
    platform::TByteWriter w(d);
    w.Bytes(0, t924::Head(t924::CmdSearchReply));
    w.Bytes(t924::Addresses.Offset, ip);
    w.Bytes(t924::Mac.Offset, std::string{0, 0x1A, 0x2B, 0x3C, 0x4D, static_cast<char>(macLast)});
    w.U16LE(t924::WebPort, 81);
    return d;
}

} // namespace torvane::test
