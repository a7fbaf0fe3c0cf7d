// Where a probe goes, on the host but through loopback only: the test programs confine
// their searches to loopback in the host's namespace (support/TestMain.cpp), so "auto"
// must list nothing here. The search on real interfaces is tried in namespaces of its own
// (tests/discovery/test_netns_search.cpp).

#include "platform/Interfaces.h"
#include "platform/Socket.h"
#include "support/LoopbackUdpPeer.h"

#include <gtest/gtest.h>

namespace torvane::platform {
namespace {

TEST(Interfaces, SettingsAndNames) {
    EXPECT_TRUE(IsValidBroadcastSetting("auto"));
    EXPECT_TRUE(IsValidBroadcastSetting("AUTO"));
    EXPECT_TRUE(IsValidBroadcastSetting("255.255.255.255"));
    EXPECT_TRUE(IsValidBroadcastSetting("127.0.0.1"));
    for (const char* bad : {"", "auto ", "automatic", "192.168.1", "1.2.3.256", "eth0"}) {
        EXPECT_FALSE(IsValidBroadcastSetting(bad)) << bad;
    }
    EXPECT_TRUE(IsValidInterfaceName("eth0"));
    EXPECT_TRUE(IsValidInterfaceName("wlp2s0"));
    EXPECT_TRUE(IsValidInterfaceName("enx00e04c680001")); // 15 bytes, a USB adapter
    for (const char* bad : {"", ".", "..", "eth0:1", "a/b", "has space", "enx00e04c6800012"}) {
        EXPECT_FALSE(IsValidInterfaceName(bad)) << bad;
    }
    const unsigned lo = InterfaceIndex("lo");
    EXPECT_NE(lo, 0u);
    EXPECT_EQ(InterfaceName(lo), "lo");
    EXPECT_EQ(InterfaceIndex("nosuch0"), 0u);
    EXPECT_EQ(InterfaceName(0), "");
}

TEST(Interfaces, TestProcessesResolveLoopbackOnlyOnTheHost) {
    ASSERT_TRUE(SearchConfinedToLoopback());
    EXPECT_TRUE(BroadcastInterfaces().empty());
    EXPECT_TRUE(InterfaceNames().empty());
    EXPECT_TRUE(ResolveBroadcastTargets("auto", "").empty());
    EXPECT_TRUE(ResolveBroadcastTargets("auto", "lo").empty());
    EXPECT_TRUE(ResolveBroadcastTargets("255.255.255.255", "").empty());
    EXPECT_TRUE(ResolveBroadcastTargets("192.0.2.255", "").empty());
    EXPECT_TRUE(ResolveBroadcastTargets("nonsense", "").empty());

    // An explicit loopback address works as it always did: routed, or through one interface.
    EXPECT_EQ(ResolveBroadcastTargets("127.0.0.1", ""),
              (std::vector<TBroadcastTarget>{{IPv4Loopback, 0, 0, ""}}));
    EXPECT_EQ(ResolveBroadcastTargets("127.0.0.1", "lo"),
              (std::vector<TBroadcastTarget>{{IPv4Loopback, InterfaceIndex("lo"), 0, "lo"}}));
    EXPECT_TRUE(ResolveBroadcastTargets("127.0.0.1", "nosuch0").empty());
}

TEST(Interfaces, SendsToEveryTargetAndTellsTheArrivingInterface) {
    test::TLoopbackUdpPeer camera("127.0.0.1");
    TUdpSocket pc;
    ASSERT_TRUE(pc.Create() && pc.Bind(IPv4Loopback, 0));
    ASSERT_TRUE(pc.SetReceiveInterface(true));
    const unsigned lo = InterfaceIndex("lo");

    // A send that fails (an interface that does not exist) does not stop the others.
    const std::vector<TBroadcastTarget> targets = {
        {IPv4Loopback, 0x7FFFFFF0u, 0, "gone"},
        {IPv4Loopback, lo, IPv4Loopback, "lo"},
        {IPv4Loopback, 0, 0, ""},
    };
    EXPECT_EQ(pc.SendToTargets("probe", 5, camera.Port(), targets), 2);
    for (int i = 0; i < 2; ++i) {
        const auto got = camera.WaitForDatagram(3000);
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->Data, "probe");
        EXPECT_EQ(got->FromPort, pc.LocalPort());
    }

    ASSERT_TRUE(camera.SendTo("127.0.0.1", pc.LocalPort(), "answer"));
    ASSERT_EQ(pc.WaitReadable(3000), TWaitResult::Ready);
    char buffer[16] = {};
    const TReceivedDatagram got = pc.ReceiveFrom(buffer, sizeof(buffer));
    ASSERT_EQ(got.Count, 6u);
    EXPECT_EQ(std::string(buffer, 6), "answer");
    EXPECT_EQ(got.FromPort, camera.Port());
    EXPECT_EQ(got.InterfaceIndex, lo);
}

} // namespace
} // namespace torvane::platform
