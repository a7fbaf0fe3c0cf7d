// UDP listeners and port selection, on loopback.

#include "DiscoveryTestUtil.h"
#include "discovery/Tools_Net.h"
#include "discovery/UdpListener.h"
#include "support/LoopbackUdpPeer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace torvane {
namespace {

class ListenerTest : public test::TDiscoveryTest {};

// A base port with the next few free, found by trying (other tests run side by side).
std::uint16_t FreeBase(std::uint16_t from, int needed) {
    for (int base = from; base < from + 2000; base += needed + 1) {
        bool allFree = true;
        for (int p = base; p < base + needed && allFree; ++p) {
            platform::TUdpSocket s;
            allFree = s.Create() && s.Bind(platform::IPv4Any, static_cast<std::uint16_t>(p));
        }
        if (allFree) {
            return static_cast<std::uint16_t>(base);
        }
    }
    return 0;
}

TEST_F(ListenerTest, BindFreePortMovesPastTakenPorts) {
    const std::uint16_t base = FreeBase(47000, 5);
    ASSERT_NE(base, 0);
    // Another program holds the base port: the listeners activated after it move up too.
    platform::TUdpSocket blocker;
    ASSERT_TRUE(blocker.Create() && blocker.Bind(platform::IPv4Any, base));
    TUdpListener second("IdUDPServer2");
    TUdpListener first("IdUDPServer1");
    TUdpListener third("IdUDPServer3");
    ASSERT_TRUE(TTools_Net::BindFreePort(second, base));
    ASSERT_TRUE(TTools_Net::BindFreePort(first, static_cast<std::uint16_t>(base + 1)));
    ASSERT_TRUE(TTools_Net::BindFreePort(third, static_cast<std::uint16_t>(base + 2)));
    EXPECT_EQ(second.Port(), base + 1);
    EXPECT_EQ(first.Port(), base + 2);
    EXPECT_EQ(third.Port(), base + 3);
    EXPECT_TRUE(second.Active() && first.Active() && third.Active());

    // Deactivated, the port is free again; an inactive listener sends nothing.
    second.Deactivate();
    EXPECT_FALSE(second.Active());
    EXPECT_FALSE(second.BroadcastSendText("x", 9));
    platform::TUdpSocket again;
    EXPECT_TRUE(again.Create() && again.Bind(platform::IPv4Any, static_cast<std::uint16_t>(base + 1)));
    EXPECT_FALSE(TTools_Net::BindFreePort(second, 0));
}

TEST_F(ListenerTest, DeliversUpTo1024BytesOnTheMainThread) {
    TUdpListener listener("IdUDPServer1");
    std::vector<std::size_t> lengths;
    std::vector<std::uint16_t> senders;
    bool onMainThread = true;
    listener.SetHandler([&](TUdpListener& l, const std::uint8_t* data, std::size_t length,
                            std::uint32_t from, std::uint16_t fromPort,
                            const std::string& interfaceName) {
        onMainThread = onMainThread && Host.Queue().IsMainThread() && &l == &listener;
        lengths.push_back(length);
        senders.push_back(fromPort);
        EXPECT_EQ(from, platform::IPv4Loopback);
        EXPECT_EQ(interfaceName, "lo"); // the interface it arrived on
        if (length > 0) {
            EXPECT_EQ(data[length - 1], 'z');
        }
    });
    ASSERT_TRUE(TTools_Net::BindFreePort(listener, FreeBase(47100, 1)));

    test::TLoopbackUdpPeer camera("127.0.0.1");
    ASSERT_TRUE(camera.SendTo("127.0.0.1", listener.Port(), std::string(1023, 'a') + "z"));
    ASSERT_TRUE(camera.SendTo("127.0.0.1", listener.Port(), std::string(1024, 'z')));
    ASSERT_TRUE(camera.SendTo("127.0.0.1", listener.Port(), std::string(1025, 'z')));
    ASSERT_TRUE(camera.SendTo("127.0.0.1", listener.Port(), "z"));
    ASSERT_TRUE(DrainUntil([&] { return lengths.size() >= 3; }));
    EXPECT_EQ(lengths, (std::vector<std::size_t>{1024, 1024, 1}));
    EXPECT_TRUE(onMainThread);
    EXPECT_EQ(senders.front(), camera.Port());

    // A send goes to the broadcast setting at the given port, from the listener's port.
    ASSERT_TRUE(listener.BroadcastSendText("hello", camera.Port()));
    const auto got = camera.WaitForDatagram(3000);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->Data, "hello");
    EXPECT_EQ(got->FromPort, listener.Port());

    // Datagrams wait for a main thread that nobody serves: the listener still stops at
    // once (its thread never waits for the main thread), and what waited is dropped.
    ASSERT_TRUE(camera.SendTo("127.0.0.1", listener.Port(), "late z"));
    ASSERT_TRUE(camera.SendTo("127.0.0.1", listener.Port(), "later z"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (listener.Waiting() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    EXPECT_EQ(listener.Waiting(), 2u);
    listener.Deactivate();
    EXPECT_FALSE(listener.Active());
    EXPECT_EQ(listener.Waiting(), 0u);
    Host.Queue().RunPending();
    EXPECT_EQ(lengths.size(), 3u) << "no handler runs after the listener has stopped";
}

} // namespace
} // namespace torvane
