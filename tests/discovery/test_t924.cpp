// The T-series search: reply layout, the probe, the local-port rule and the receiver's life.

#include "DiscoveryTestUtil.h"
#include "series/SR_924.h"
#include "support/LoopbackUdpPeer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace torvane {
namespace {

TEST(T924Reply, Layout) {
    std::string d = test::T924Reply("192.168.1.30", 0x5E);
    test::PutText(d, 20, "255.255.255.0");
    test::PutText(d, 36, "192.168.1.1");
    test::PutText(d, 52, "8.8.8.8");
    test::PutText(d, 68, "8.8.4.4");
    test::PutText(d, 92, "DEV-1234");
    test::PutText(d, 124, "Porch");
    test::PutText(d, 204, "48.2.0.121");
    test::PutText(d, 236, "admin");
    test::PutText(d, 268, "pw");
    d[301] = 1;
    test::PutText(d, 324, "ddns.example");
    test::PutText(d, 388, "cam1");
    test::PutText(d, 452, "duser");
    test::PutText(d, 484, "dpass");
    TDevInfo r;
    ASSERT_TRUE(ParseT924Reply(d.data(), d.size(), r));
    EXPECT_EQ(r.nType, 9);
    EXPECT_EQ(r.szIPAddr, "192.168.1.30");
    EXPECT_EQ(r.szMask, "255.255.255.0");
    EXPECT_EQ(r.szGateway, "192.168.1.1");
    EXPECT_EQ(r.szDNS1, "8.8.8.8");
    EXPECT_EQ(r.szDNS2, "8.8.4.4");
    EXPECT_EQ(r.szID, "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(r.szMac, "001A2B3C4D5E");
    EXPECT_EQ(r.wPort, 81); // 51 00
    EXPECT_EQ(r.szSN, "DEV-1234");
    EXPECT_EQ(r.szName, "Porch");
    EXPECT_EQ(r.szVersion, "48.2.0.121");
    EXPECT_EQ(r.szLoginUser, "admin");
    EXPECT_EQ(r.szLoginPwd, "pw");
    EXPECT_EQ(r.btDHCP, 1);
    EXPECT_EQ(r.szDdns, "ddns.example");
    EXPECT_EQ(r.szDdnsHost, "cam1");
    EXPECT_EQ(r.szDdnsUser, "duser");
    EXPECT_EQ(r.szDdnsPwd, "dpass");
    EXPECT_EQ(r.btDdnsOn, 1);
    EXPECT_EQ(r.nExtra, 808);
    EXPECT_EQ(r.nTTL, 0);

    d[90] = '\x90';
    d[91] = '\x1F';
    for (const auto& [flag, expected] : std::vector<std::pair<char, int>>{{0, 2}, {1, 1}, {2, 2}}) {
        d[301] = flag;
        ASSERT_TRUE(ParseT924Reply(d.data(), d.size(), r));
        EXPECT_EQ(r.btDHCP, expected);
        EXPECT_EQ(r.wPort, 8080);
    }

    // 324 bytes: still a camera, with empty DDNS texts. Fields past the end read as zero.
    TDevInfo shortOne;
    ASSERT_TRUE(ParseT924Reply(d.data(), 324, shortOne));
    EXPECT_EQ(shortOne.szName, "Porch");
    EXPECT_EQ(shortOne.szDdns, "");
    EXPECT_EQ(shortOne.szDdnsPwd, "");
    ASSERT_TRUE(ParseT924Reply(d.data(), 6, shortOne));
    EXPECT_EQ(shortOne.szIPAddr, "19");
    EXPECT_EQ(shortOne.szID, "00:00:00:00:00:00");

    // Another command or magic is ignored.
    TDevInfo none;
    std::string set = d;
    set[2] = 2;
    EXPECT_FALSE(ParseT924Reply(set.data(), set.size(), none));
    EXPECT_FALSE(ParseT924Reply("DH\x01", 3, none));
    EXPECT_FALSE(ParseT924Reply(nullptr, 0, none));
    EXPECT_EQ(none, TDevInfo());
}

class T924SearchTest : public test::TDiscoveryTest {
protected:
    T924SearchTest() : Fake(40, 5) {}
    test::TFakeSleeperScope Fake; // 30 ms waits become 5 ms: a search lives ~50 ms
};

TEST_F(T924SearchTest, ProbeRepliesAndLocalPortRule) {
    test::TLoopbackUdpPeer camera("127.0.0.1");
    const std::uint16_t localPort = test::FreeUdpPort();
    ASSERT_NE(localPort, 0);
    camera.SetResponder([](const test::TDatagram& probe) {
        EXPECT_EQ(probe.Data, std::string("DH\x01\x01"));
        std::string other = test::T924Reply("10.1.1.2", 2);
        other[3] = 8;
        other[2] = 2; // 44 48 02 08: an answer to a set, not for the search
        return std::vector<std::string>{other, test::T924Reply("10.1.1.1", 1, 324),
                                        test::T924Reply("10.1.1.3", 3, 1024)};
    });
    auto client = std::make_shared<TT924Series>(localPort);
    std::vector<TDevInfo> found;
    bool onMainThread = true;
    const auto collect = [&](const TDevInfo& r) {
        onMainThread = onMainThread && Host.Queue().IsMainThread();
        found.push_back(r);
    };
    EXPECT_EQ(client->SearchDevices(camera.Port(), collect), 0);
    // Within the receiver's life the local port is taken: a second search sends nothing.
    EXPECT_EQ(client->SearchDevices(camera.Port(), collect), 0);
    ASSERT_TRUE(DrainUntil([&] { return found.size() >= 2; }));
    ASSERT_TRUE(DrainUntil([&] { return client->RunningSearches() == 0; }));
    Host.Queue().RunPending();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].szIPAddr, "10.1.1.1");
    EXPECT_EQ(found[1].szIPAddr, "10.1.1.3");
    EXPECT_TRUE(onMainThread);
    const auto probes = camera.Received();
    ASSERT_EQ(probes.size(), 1u);
    EXPECT_EQ(probes[0].FromPort, localPort);

    // The receiver ended by itself and freed the port: the next search probes again.
    EXPECT_EQ(client->SearchDevices(camera.Port(), collect), 0);
    ASSERT_TRUE(camera.WaitForDatagram(3000).has_value()); // the first probe
    ASSERT_TRUE(camera.WaitForDatagram(3000).has_value()); // the new one
    client->StopSearches();
    EXPECT_EQ(client->RunningSearches(), 0);
}

TEST_F(T924SearchTest, StopsAtTeardownAndSkipsBadPorts) {
    test::TLoopbackUdpPeer camera("127.0.0.1");
    const std::uint16_t localPort = test::FreeUdpPort();
    // The camera answers the probe many times over; nobody takes the replies off the main
    // thread's queue. Stopping drops them and joins the thread at once.
    camera.SetResponder([](const test::TDatagram&) {
        return std::vector<std::string>(20, test::T924Reply("10.9.9.9", 9));
    });
    int delivered = 0;
    {
        auto client = std::make_shared<TT924Series>(localPort);
        (void)client->SearchDevices(camera.Port(), [&](const TDevInfo&) { ++delivered; });
        ASSERT_TRUE(camera.WaitForDatagram(3000).has_value());
        EXPECT_EQ(client->SearchDevices(0, nullptr), 0);
        EXPECT_EQ(client->SearchDevices(70000, nullptr), 0);
        // Leaving the scope destroys the client, which stops its receiver.
    }
    EXPECT_LE(delivered, 20);
    Host.Queue().RunPending();
    EXPECT_EQ(delivered, 0) << "nothing reaches the callback after the stop";
    // The local port is free again at once.
    platform::TUdpSocket s;
    EXPECT_TRUE(s.Create() && s.Bind(platform::IPv4Any, localPort));
    EXPECT_EQ(camera.Received().size(), 1u);
}

// Until cond() holds or 3 s (real time) have passed, without running the main thread's
// queue.
bool WaitUndrained(const std::function<bool()>& cond) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!cond() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    return cond();
}

TEST_F(T924SearchTest, RepliesOfAnEndedReceiverStillArriveAndStoppingDropsWhatWaits) {
    test::TLoopbackUdpPeer camera("127.0.0.1");
    std::atomic<int> probes{0};
    camera.SetResponder([&](const test::TDatagram&) {
        const int probe = ++probes;
        if (probe == 2) {
            return std::vector<std::string>{};
        }
        const std::string net = probe == 1 ? "10.2.2." : "10.3.3.";
        return std::vector<std::string>{test::T924Reply(net + "1", 1), test::T924Reply(net + "2", 2),
                                        test::T924Reply(net + "3", 3)};
    });
    auto client = std::make_shared<TT924Series>(test::FreeUdpPort());
    std::vector<std::string> found;
    const auto collect = [&](const TDevInfo& r) { found.push_back(r.szIPAddr); };

    // The receiver reads the three replies and ends by itself before the main thread has
    // taken any; a new search in between (which clears away ended receivers) loses none.
    (void)client->SearchDevices(camera.Port(), collect);
    ASSERT_TRUE(WaitUndrained([&] { return probes == 1 && client->RunningSearches() == 0; }));
    (void)client->SearchDevices(camera.Port(), collect);
    ASSERT_TRUE(DrainUntil([&] { return found.size() >= 3 && client->RunningSearches() == 0; }));
    EXPECT_EQ(found, (std::vector<std::string>{"10.2.2.1", "10.2.2.2", "10.2.2.3"}));
    EXPECT_EQ(probes, 2);

    // Stopped while its replies wait for the main thread: they never reach the callback.
    (void)client->SearchDevices(camera.Port(), collect);
    ASSERT_TRUE(WaitUndrained([&] { return probes == 3 && client->RunningSearches() == 0; }));
    client->StopSearches();
    Host.Queue().RunPending();
    EXPECT_EQ(found.size(), 3u);
}

} // namespace
} // namespace torvane
