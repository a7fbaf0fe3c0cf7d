// The search session: merging, ageing, sorting and selection, and one live pass on loopback.

#include "DiscoveryTestUtil.h"
#include "discovery/DiscoverySession.h"
#include "discovery/SR.h"
#include "platform/ByteWriter.h"
#include "platform/Context.h"
#include "support/LoopbackUdpPeer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace torvane {
namespace {

TDevInfo Camera(const std::string& id, const std::string& ip, const std::string& name = "cam",
                std::int32_t type = 2) {
    TDevInfo r;
    r.nType = type;
    r.szID = id;
    r.szIPAddr = ip;
    r.szName = name;
    r.wPort = 80;
    return r;
}

std::vector<std::string> Ips(const TDiscoverySession& s) {
    std::vector<std::string> out;
    for (int i = 0; i < s.Count(); ++i) {
        out.push_back(s.Item(i).szIPAddr);
    }
    return out;
}

// Search ports of a test: free listener ports, and every probe sent to the port sinkPort
// (the T-series search too, unless the test moves it).
TDiscoveryPorts PortsSendingTo(std::uint16_t sinkPort) {
    TDiscoveryPorts ports;
    ports.MOIListenerBase = test::FreeUdpPort();
    ports.SQ610ListenerBase = test::FreeUdpPort();
    ports.UicamListenerBase = test::FreeUdpPort();
    ports.CTPListenerBase = test::FreeUdpPort();
    ports.Listener1010Base = test::FreeUdpPort();
    ports.SQ610To = ports.MOITo = ports.UicamTo = ports.CTPTo = ports.To1010 =
        ports.ImagiaTo = ports.T924To = sinkPort;
    return ports;
}

class SessionTest : public test::TDiscoveryTest {
protected:
    // Not started: no sockets; the list rules alone.
    SessionTest() : Session(TDiscoveryPorts{}, nullptr, "/nonexistent/909/lib.so") {
        // Never started here: no listener is bound and every send is refused.
        Session.SetChangeHandler([this](unsigned changes) { Changes.push_back(changes); });
    }
    std::vector<unsigned> Changes;
    TDiscoverySession Session;
};

TEST_F(SessionTest, MergeAgeingAndSelection) {
    EXPECT_EQ(Session.Count(), 0);
    EXPECT_TRUE(Session.ShowsEmptyPanel());
    EXPECT_EQ(Session.SelectedIndex(), -1);
    EXPECT_FALSE(Session.AddOrUpdateDevice(TDevInfo())); // nType -1: nothing

    EXPECT_TRUE(Session.AddOrUpdateDevice(Camera("A", "192.168.1.10")));
    EXPECT_EQ(Session.SelectedIndex(), 0); // the first camera becomes selected
    EXPECT_TRUE(Session.AddOrUpdateDevice(Camera("B", "192.168.1.9")));
    EXPECT_EQ(Ips(Session), (std::vector<std::string>{"192.168.1.9", "192.168.1.10"}));
    EXPECT_EQ(Session.SelectedIndex(), 1); // the selection follows its item
    EXPECT_FALSE(Session.ShowsEmptyPanel());

    // Unchanged data: false, nothing reported as changed, the entry lives 10 ticks again.
    Changes.clear();
    EXPECT_FALSE(Session.AddOrUpdateDevice(Camera("A", "192.168.1.10")));
    ASSERT_EQ(Changes.size(), 0u);

    for (int i = 0; i < 9; ++i) {
        Session.Tick();
    }
    EXPECT_EQ(Session.Count(), 2);
    EXPECT_EQ(Session.FindDevice("B")->nTTL, 1);
    (void)Session.AddOrUpdateDevice(Camera("A", "192.168.1.10"));
    Session.Tick(); // B's tenth tick without a reply
    EXPECT_EQ(Ips(Session), (std::vector<std::string>{"192.168.1.10"}));
    EXPECT_EQ(Session.FindDevice("A")->nTTL, 9);
    EXPECT_EQ(Session.FindDevice("B"), nullptr);

    // A 1010 camera seen once lasts 30 ticks; vendor library entries never age.
    EXPECT_TRUE(Session.AddOrUpdateDevice(Camera("H", "10.0.0.8", "h", 8)));
    EXPECT_TRUE(Session.AddOrUpdateDevice(Camera("V", "10.0.0.9", "v", 4)));
    EXPECT_EQ(Session.FindDevice("H")->nTTL, 30);
    for (int i = 0; i < 29; ++i) {
        Session.Tick();
    }
    ASSERT_NE(Session.FindDevice("H"), nullptr);
    EXPECT_EQ(Session.FindDevice("A"), nullptr);
    Session.Tick();
    EXPECT_EQ(Session.FindDevice("H"), nullptr);
    ASSERT_NE(Session.FindDevice("V"), nullptr);
    EXPECT_EQ(Session.SelectedIndex(), 0); // removal of the selected one selects the first
    EXPECT_EQ(Session.TickCount(), 40);

    Session.ClearDevices();
    EXPECT_EQ(Session.Count(), 0);
    EXPECT_EQ(Session.SelectedIndex(), -1);
}

TEST_F(SessionTest, ChangedEntryResortsAndMovesTheSelection) {
    (void)Session.AddOrUpdateDevice(Camera("X", "10.0.0.1", "x"));
    (void)Session.AddOrUpdateDevice(Camera("Y", "10.0.0.2", "y"));
    (void)Session.AddOrUpdateDevice(Camera("Z", "10.0.0.3", "z"));
    Session.Select(2);
    Changes.clear();
    // X moves behind Z; the item now at X's old place (Y) becomes selected.
    TDevInfo moved = Camera("X", "10.0.0.4", "x");
    moved.nTTL = 77;
    moved.szVersion = "2.0";
    EXPECT_FALSE(Session.AddOrUpdateDevice(moved));
    EXPECT_EQ(Ips(Session), (std::vector<std::string>{"10.0.0.2", "10.0.0.3", "10.0.0.4"}));
    EXPECT_EQ(Session.Item(Session.SelectedIndex()).szID, "Y");
    EXPECT_EQ(Session.FindDevice("X")->nTTL, 10);
    EXPECT_EQ(Session.FindDevice("X")->szVersion, "2.0");
    ASSERT_EQ(Changes.size(), 1u);
    EXPECT_NE(Changes[0] & ChangeItems, 0u);
    EXPECT_NE(Changes[0] & ChangeSelection, 0u);

    // A change of a compared field that keeps the place still re-selects that place.
    Session.Select(0);
    TDevInfo renamed = Camera("Z", "10.0.0.3", "zz");
    (void)Session.AddOrUpdateDevice(renamed);
    EXPECT_EQ(Session.SelectedIndex(), 1);
    EXPECT_EQ(Session.Item(1).szName, "zz");

    // A field that is not compared is kept without moving anything.
    Session.Select(0);
    TDevInfo quiet = Camera("Z", "10.0.0.3", "zz");
    quiet.szDdns = "ddns.example";
    Changes.clear();
    (void)Session.AddOrUpdateDevice(quiet);
    EXPECT_EQ(Session.SelectedIndex(), 0);
    EXPECT_EQ(Session.FindDevice("Z")->szDdns, "ddns.example");
    EXPECT_TRUE(Changes.empty());
}

TEST_F(SessionTest, SortingByColumns) {
    (void)Session.AddOrUpdateDevice(Camera("1", "192.168.1.10", "beta", 9));
    (void)Session.AddOrUpdateDevice(Camera("2", "192.168.1.9", "Alpha", 5));
    (void)Session.AddOrUpdateDevice(Camera("3", "192.168.1.100", "gamma", 2));
    EXPECT_EQ(Session.SortColumn(), TDiscoverySession::ColumnIP);
    EXPECT_TRUE(Session.SortAsc());
    EXPECT_EQ(Ips(Session),
              (std::vector<std::string>{"192.168.1.9", "192.168.1.10", "192.168.1.100"}));
    const std::string selected = Session.Item(Session.SelectedIndex()).szID;

    Session.ColumnClick(TDiscoverySession::ColumnIP); // the current column: reversed
    EXPECT_FALSE(Session.SortAsc());
    EXPECT_EQ(Ips(Session),
              (std::vector<std::string>{"192.168.1.100", "192.168.1.10", "192.168.1.9"}));
    EXPECT_EQ(Session.Item(Session.SelectedIndex()).szID, selected);

    Session.ColumnClick(TDiscoverySession::ColumnName); // another column: ascending
    EXPECT_TRUE(Session.SortAsc());
    EXPECT_EQ(Session.Item(0).szName, "Alpha"); // case-insensitive
    EXPECT_EQ(Session.Item(1).szName, "beta");
    Session.ColumnClick(TDiscoverySession::ColumnName);
    EXPECT_EQ(Session.Item(0).szName, "gamma");

    Session.ColumnClick(TDiscoverySession::ColumnType); // E, F, T
    EXPECT_EQ(Session.Item(0).nType, 5);
    EXPECT_EQ(Session.Item(2).nType, 9);

    // A new camera goes to its sorted place.
    (void)Session.AddOrUpdateDevice(Camera("4", "1.1.1.1", "delta", 8));
    EXPECT_EQ(Session.Item(2).szID, "4"); // E, F, H, T
}

TEST_F(SessionTest, DatagramsIdentitiesAndChoice) {
    // 1010 info then DDNS: the DDNS texts go into the listed entry.
    Session.HandleDatagram(test::Info1010(0x5E, "10.0.0.20", "Hall"));
    ASSERT_EQ(Session.Count(), 1);
    std::string ddns = test::Msg1010(0x8F0F, 340);
    const char mac[6] = {0, 0x11, 0x22, 0x33, 0x44, 0x5E};
    ddns.replace(96, 6, mac, 6);
    test::PutText(ddns, 142, "ddns.example");
    test::PutText(ddns, 272, "u");
    test::PutText(ddns, 336, "p");
    TDevInfo merged;
    ASSERT_TRUE(Session.ParseDatagram(ddns, merged));
    EXPECT_EQ(merged.szName, "Hall");
    EXPECT_EQ(merged.szDdns, "ddns.example");
    Session.HandleDatagram(ddns);
    EXPECT_EQ(Session.FindDevice("00112233445E")->szDdnsUser, "u");
    EXPECT_EQ(Session.FindDevice("00112233445E")->nTTL, 10);
    // Not listed: true, but no camera.
    ddns[101] = 0x66;
    TDevInfo unlisted;
    EXPECT_TRUE(Session.ParseDatagram(ddns, unlisted));
    EXPECT_EQ(unlisted.nType, -1);
    Session.HandleDatagram(ddns);
    EXPECT_EQ(Session.Count(), 1);

    // Too short to be anything, or a hello (answered, no camera).
    TDevInfo none;
    EXPECT_FALSE(Session.ParseDatagram(std::string("\x10\x10", 2), none));
    EXPECT_FALSE(Session.ParseDatagram(test::Msg1010(0x8F01, 140), none));
    EXPECT_FALSE(Session.ParseDatagram("uicam reply", none));
    Session.HandleDatagram(std::string("\x10\x10", 2));
    EXPECT_EQ(Session.Count(), 1);

    // The same camera spelt two ways is two entries; CTP replies without a MAC share one.
    Session.HandleDatagram("REPLY\r\n-mac 00:11:22:33:44:5e\r\n-ip 10.0.0.21");
    Session.HandleDatagram("REPLY\r\n-ip 10.0.0.30\r\n-name one");
    Session.HandleDatagram("REPLY\r\n-ip 10.0.0.31\r\n-name two");
    EXPECT_EQ(Session.Count(), 3);
    EXPECT_EQ(Session.FindDevice("")->szName, "two");
    EXPECT_EQ(Session.FindDevice("00112233445E")->nType, 8);

    Session.HandleDatagram(test::MoiReply("MOI1", "moi", 7));
    Session.Select(Session.Count() - 1);
    TCameraChoice choice = Session.Choose();
    EXPECT_TRUE(choice.Chosen);
    EXPECT_EQ(choice.szIP, "192.168.1.7");
    EXPECT_EQ(choice.nPort, 8080);
    EXPECT_EQ(choice.nTYpe, 1);
    TDevInfo vendor = Camera("VV", "1.0.0.1", "v", 4);
    Session.HandleVendorFound(vendor);
    Session.Select(0);
    EXPECT_EQ(Session.Choose().nTYpe, -1);
    Session.Select(-1);
    choice = Session.Choose();
    EXPECT_FALSE(choice.Chosen);
    EXPECT_EQ(choice.szIP, "");
    EXPECT_EQ(choice.nPort, 0);
    EXPECT_EQ(choice.nTYpe, -1);
}

// One search pass against cameras on loopback: MO_I, a 1010 camera with its handshake, and
// a T camera; the listeners take their ports in order.
TEST_F(SessionTest, LivePassOnLoopback) {
    test::TFakeSleeperScope fake(40, 5);
    test::TLoopbackUdpPeer moi("127.0.0.1");
    test::TLoopbackUdpPeer cam1010("127.0.0.1");
    test::TLoopbackUdpPeer tcam("127.0.0.1");
    test::TLoopbackUdpPeer sink("127.0.0.1");
    moi.SetResponder([](const test::TDatagram& d) {
        return d.Data == MOIProbe() ? std::vector<std::string>{test::MoiReply("M1", "m", 44)}
                                    : std::vector<std::string>{};
    });
    std::vector<std::string> answers;
    cam1010.SetResponder([&](const test::TDatagram& d) -> std::vector<std::string> {
        if (d.Data == Probe1010()) {
            std::string hello = test::Msg1010(0x8F01, 140);
            hello[12] = 'K';
            return {hello};
        }
        if (d.Data.size() == 136 && d.Data[2] == '\x12' && d.Data[8] == 'K') {
            return {test::Info1010(0x77, "127.0.0.33", "h1010")};
        }
        return {};
    });
    tcam.SetResponder([](const test::TDatagram& d) {
        return d.Data == std::string("DH\x01\x01") ? std::vector<std::string>{test::T924Reply("127.0.0.34", 4)}
                                                   : std::vector<std::string>{};
    });

    TDiscoveryPorts ports;
    ports.MOIListenerBase = 47200;
    ports.SQ610ListenerBase = 47200; // taken by the MO_I listener: moves up
    ports.UicamListenerBase = 47200;
    ports.CTPListenerBase = 47210;
    ports.Listener1010Base = 47220;
    ports.MOITo = moi.Port();
    ports.To1010 = cam1010.Port();
    ports.T924To = tcam.Port();
    ports.SQ610To = ports.ImagiaTo = ports.UicamTo = ports.CTPTo = sink.Port();
    auto tClient = std::make_shared<TT924Series>(test::FreeUdpPort());
    {
        TDiscoverySession live(ports, tClient, "/nonexistent/909/lib.so");
        live.Start();
        for (int i = 0; i < TDiscoverySession::ListenerCount; ++i) {
            EXPECT_TRUE(live.ListenerActive(static_cast<TDiscoverySession::TListenerId>(i)));
        }
        const auto p1 = live.ListenerPort(TDiscoverySession::Listener1);
        const auto p2 = live.ListenerPort(TDiscoverySession::Listener2);
        const auto p3 = live.ListenerPort(TDiscoverySession::Listener3);
        EXPECT_LT(p2, p1);
        EXPECT_LT(p1, p3);

        live.Tick(); // tick 0: with the IMAGIA probe
        ASSERT_TRUE(DrainUntil([&] { return live.Count() == 3; }));
        // Each listed with the interface its reply came in on, whichever path brought it.
        for (const char* id : {"M1", "001122334477", "00:1A:2B:3C:4D:04"}) {
            const TDevInfo* found = live.FindDevice(id);
            ASSERT_NE(found, nullptr) << id;
            EXPECT_EQ(found->szInterface, "lo") << id;
        }
        // The info message was acknowledged through listener 5.
        ASSERT_TRUE(DrainUntil([&] { return cam1010.Received().size() >= 3; }));
        const auto got = cam1010.Received();
        EXPECT_EQ(got[2].Data.substr(2, 2), "\x0F\x0F");
        EXPECT_EQ(got[2].FromPort, live.ListenerPort(TDiscoverySession::Listener5));

        // Sink: SQ610, IMAGIA (from listener 1), uicam, CTP on tick 0; no IMAGIA on tick 1.
        ASSERT_TRUE(DrainUntil([&] { return sink.Received().size() >= 4; }));
        live.Tick();
        ASSERT_TRUE(DrainUntil([&] { return sink.Received().size() >= 7; }));
        int imagia = 0;
        for (const auto& d : sink.Received()) {
            if (d.Data == ImagiaProbe()) {
                ++imagia;
                EXPECT_EQ(d.FromPort, p1);
            }
        }
        EXPECT_EQ(imagia, 1);
    } // teardown: listeners joined, the T receivers stopped
    EXPECT_EQ(tClient->RunningSearches(), 0);
}


// One pass sends in its fixed order, each probe through its own listener: IMAGIA (ticks
// divisible by 3 only) and SQ610 through listener 1, the T-series search, MO_I through 2,
// uicam through 3, CTP through 4, 1010 through 5. Everything goes to one loopback sink.
TEST_F(SessionTest, APassSendsItsProbesInOrderThroughTheirListeners) {
    test::TFakeSleeperScope fake(40, 5);
    test::TLoopbackUdpPeer sink("127.0.0.1");
    TDiscoveryPorts ports = PortsSendingTo(sink.Port());
    const std::uint16_t tLocal = test::FreeUdpPort();
    auto tClient = std::make_shared<TT924Series>(tLocal);
    TDiscoverySession live(ports, tClient, "/nonexistent/909/lib.so");
    live.Start();
    using L = TDiscoverySession;
    const auto from = [&](L::TListenerId id) { return live.ListenerPort(id); };

    // Waits for count datagrams from the sink and gives them as (bytes, sender port).
    std::size_t taken = 0;
    const auto next = [&](std::size_t count) {
        std::vector<std::pair<std::string, std::uint16_t>> out;
        EXPECT_TRUE(DrainUntil([&] { return sink.Received().size() >= taken + count; }));
        const auto got = sink.Received();
        for (std::size_t i = taken; i < got.size() && out.size() < count; ++i) {
            out.emplace_back(got[i].Data, got[i].FromPort);
        }
        taken += out.size();
        return out;
    };

    live.SendProbes(0, false);
    const auto first = next(7);
    ASSERT_EQ(first.size(), 7u);
    const std::vector<std::pair<std::string, std::uint16_t>> expected = {
        {ImagiaProbe(), from(L::Listener1)}, {T924SearchProbe(), tLocal},
        {SQ610Probe(), from(L::Listener1)},  {MOIProbe(), from(L::Listener2)},
        {UicamProbe(), from(L::Listener3)},  {CTPSearch(), from(L::Listener4)},
        {Probe1010(), from(L::Listener5)}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(first[i].first, expected[i].first) << "datagram " << i;
        EXPECT_EQ(first[i].second, expected[i].second) << "datagram " << i;
    }

    // Later passes: IMAGIA again only on tick 3. (Whether a T probe goes out depends on
    // whether the previous receiver still holds its local port, so it is left out here.)
    for (const int tick : {1, 2, 3}) {
        live.SendProbes(tick, false);
        std::vector<std::string> pass;
        ASSERT_TRUE(DrainUntil([&] {
            const auto got = sink.Received();
            for (; taken < got.size(); ++taken) {
                if (got[taken].Data != T924SearchProbe()) {
                    pass.push_back(got[taken].Data);
                }
            }
            return !pass.empty() && pass.back() == Probe1010();
        })) << "tick " << tick;
        std::vector<std::string> want;
        if (tick % 3 == 0) {
            want.push_back(ImagiaProbe());
        }
        for (const std::string& probe :
             {SQ610Probe(), MOIProbe(), UicamProbe(), CTPSearch(), Probe1010()}) {
            want.push_back(probe);
        }
        EXPECT_EQ(pass, want) << "tick " << tick;
    }
    live.Stop();
    EXPECT_EQ(tClient->RunningSearches(), 0);
}

// What the search drops or passes over leaves one line each in the diagnostic log, with its
// reason; a T camera's password, which its search reply carries, is never among them.
TEST_F(SessionTest, WhatTheSearchDropsLeavesALineWithItsReasonAndNoPassword) {
    test::TFakeSleeperScope fake(40, 5);
    std::mutex linesLock;
    std::vector<std::string> lines;
    platform::Context().Diag().Enable(platform::DiagAll);
    platform::Context().Diag().SetSink([&](const std::string& line) {
        std::lock_guard<std::mutex> g(linesLock);
        lines.push_back(line);
    });
    const auto logged = [&](const std::string& part) {
        std::lock_guard<std::mutex> g(linesLock);
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(part) != std::string::npos;
        });
    };

    const std::string password = "pw-Zq81secret";
    test::TLoopbackUdpPeer tcam("127.0.0.1");
    tcam.SetResponder([&](const test::TDatagram&) {
        std::string reply = test::T924Reply("127.0.0.61", 0x61);
        test::PutText(reply, 268, password);
        std::string tooLong = reply + std::string(600, 'x');
        test::PutText(tooLong, 268, password);
        return std::vector<std::string>{tooLong, "DH\x02\x08 not a search reply", reply};
    });
    test::TLoopbackUdpPeer sink("127.0.0.1");
    test::TLoopbackUdpPeer sender("127.0.0.1");
    TDiscoveryPorts ports = PortsSendingTo(sink.Port());
    ports.T924To = tcam.Port();
    auto tClient = std::make_shared<TT924Series>(test::FreeUdpPort());
    TDiscoverySession live(ports, tClient, "/nonexistent/909/lib.so");
    live.Start();
    live.SetChangeHandler([](unsigned) { throw std::runtime_error("the view failed"); });
    live.SendProbes(1, false); // the T-series search among them

    const std::uint16_t moiPort = live.ListenerPort(TDiscoverySession::Listener2);
    ASSERT_TRUE(sender.SendTo("127.0.0.1", moiPort, std::string(1100, 'x')));
    ASSERT_TRUE(sender.SendTo("127.0.0.1", moiPort, "junk"));
    std::string oddLength = test::MoiReply("M8", "odd", 8);
    platform::TByteWriter(oddLength).U32LE(moi::ContentLength, 7);
    ASSERT_TRUE(sender.SendTo("127.0.0.1", moiPort, oddLength));
    ASSERT_TRUE(sender.SendTo("127.0.0.1", moiPort, test::Msg1010(0x1234, 8)));
    ASSERT_TRUE(sender.SendTo("127.0.0.1", moiPort, test::Msg1010(m1010::CodeInfo, 100)));
    ASSERT_TRUE(sender.SendTo("127.0.0.1", moiPort, test::MoiReply("M9", "fine", 9)));
    ASSERT_TRUE(DrainUntil([&] {
        return live.Count() == 2 && logged("the view failed") &&
               logged("no T-series search reply");
    }));
    const std::string from = "from 127.0.0.1:" + std::to_string(sender.Port());
    EXPECT_TRUE(logged("a datagram of 1100 bytes " + from + " dropped: longer than the "
                       "1024-byte buffer"));
    EXPECT_TRUE(logged("a datagram of 4 bytes " + from + " on lo lists no camera: no family"));
    EXPECT_TRUE(logged("MO_I search answer with content length 7"));
    EXPECT_TRUE(logged("a 1010 message with code 0x1234"));
    EXPECT_TRUE(logged("a 1010 information message of 100 bytes, shorter than its 136"));
    EXPECT_TRUE(logged("debug discovery: the list's view: caught and passed over: the view "
                       "failed"));
    EXPECT_TRUE(logged("the T-series search dropped a datagram of 1116 bytes from 127.0.0.1:" +
                       std::to_string(tcam.Port()) + ": longer than the 1024-byte buffer"));

    // The T camera was listed, its password read; no line carries it.
    const TDevInfo* t = live.FindDevice("00:1A:2B:3C:4D:61");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->szLoginPwd, password);
    live.Stop();
    std::lock_guard<std::mutex> g(linesLock);
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find(password), std::string::npos) << line;
    }
}

} // namespace
} // namespace torvane
