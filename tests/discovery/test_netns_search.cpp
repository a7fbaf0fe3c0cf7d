// The search on every interface, in network namespaces this test builds: a PC with two
// networks and the default route on the first, three cameras (MO_I, CTP, T series) behind
// each link. Nothing here touches the host's network: the search runs on this test's
// thread moved into the PC's namespace, the cameras answer from theirs.

#include "discovery/DiscoverySession.h"
#include "DiscoveryTestUtil.h"
#include "i18n/Deployment.h"
#include "platform/Interfaces.h"
#include "series/SR_924.h"
#include "series/uEUpgradeFile.h"
#include "support/Netns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace torvane {
namespace {

using test::TNetnsCamera;
using test::TNetnsScope;
using test::TTwoNetworkLab;

class NetnsSearch : public test::TDiscoveryTest {
protected:
    void SetUp() override {
        TDiscoveryTest::SetUp();
        ASSERT_TRUE(Lab.Ok()) << Lab.Error();
        CameraA = std::make_unique<TNetnsCamera>(Lab.CamA(), "a", TTwoNetworkLab::CameraA);
        CameraB = std::make_unique<TNetnsCamera>(Lab.CamB(), "b", TTwoNetworkLab::CameraB);
        ASSERT_TRUE(CameraA->Ok()) << CameraA->Error();
        ASSERT_TRUE(CameraB->Ok()) << CameraB->Error();
        InPc = std::make_unique<TNetnsScope>(Lab.Pc());
        ASSERT_TRUE(InPc->Ok()) << "cannot enter " << Lab.Pc().Name();
        SetBroadcastAddress("auto");
        SetSearchInterface("");
    }
    void TearDown() override {
        if (Session) {
            Session->Stop();
            Session.reset();
        }
        if (Series) {
            Series->StopSearches();
        }
        InPc.reset(); // back to the test's own namespace before the lab goes
        SetSearchInterface("");
        SetBroadcastAddress("127.0.0.1");
        TDiscoveryTest::TearDown();
    }

    void StartSession() {
        Series = std::make_shared<TT924Series>();
        Session = std::make_unique<TDiscoverySession>(TDiscoveryPorts{}, Series, "/nonexistent");
        Session->Start();
    }

    // One search pass on a cleared list; waits until `expected` cameras are listed and the
    // pass's T-series receiver has ended (by then every camera that heard the pass has
    // answered). The list as name -> interface.
    std::map<std::string, std::string> Pass(int expected) {
        Session->ClearDevices();
        EXPECT_TRUE(DrainUntil([&] { return Series->RunningSearches() == 0; }));
        Session->Tick();
        EXPECT_TRUE(DrainUntil([&] { return Session->Count() >= expected; }))
            << "listed " << Session->Count() << " of " << expected;
        EXPECT_TRUE(DrainUntil([&] { return Series->RunningSearches() == 0; }));
        Host.Queue().RunPending();
        std::map<std::string, std::string> found;
        for (const TDevInfo& d : Session->Devices()) {
            found[d.szName] = d.szInterface;
        }
        return found;
    }

    std::map<std::string, std::string> Both() const {
        return {{"a-moi", Lab.LinkA()}, {"a-ctp", Lab.LinkA()}, {"a-t", Lab.LinkA()},
                {"b-moi", Lab.LinkB()}, {"b-ctp", Lab.LinkB()}, {"b-t", Lab.LinkB()}};
    }
    std::map<std::string, std::string> OnlyA() const {
        return {{"a-moi", Lab.LinkA()}, {"a-ctp", Lab.LinkA()}, {"a-t", Lab.LinkA()}};
    }
    std::map<std::string, std::string> OnlyB() const {
        return {{"b-moi", Lab.LinkB()}, {"b-ctp", Lab.LinkB()}, {"b-t", Lab.LinkB()}};
    }

    TTwoNetworkLab Lab;
    std::unique_ptr<TNetnsCamera> CameraA;
    std::unique_ptr<TNetnsCamera> CameraB;
    std::unique_ptr<TNetnsScope> InPc;
    std::shared_ptr<TT924Series> Series;
    std::unique_ptr<TDiscoverySession> Session;
};

TEST_F(NetnsSearch, AutoFindsTheCamerasOfBothNetworksOnTheirInterfaces) {
    // One probe per interface, to 255.255.255.255 through it, from its own address.
    const auto targets = SearchTargets();
    ASSERT_EQ(targets.size(), 2u);
    std::set<std::string> sources;
    for (const auto& t : targets) {
        EXPECT_EQ(t.Address, platform::IPv4Broadcast);
        EXPECT_EQ(t.InterfaceIndex, platform::InterfaceIndex(t.InterfaceName));
        sources.insert(t.InterfaceName + "=" + platform::IPv4ToText(t.Source));
    }
    EXPECT_EQ(sources, (std::set<std::string>{Lab.LinkA() + "=" + TTwoNetworkLab::PcA,
                                              Lab.LinkB() + "=" + TTwoNetworkLab::PcB}));

    StartSession();
    EXPECT_EQ(Pass(6), Both());
    // Each network heard the PC from the PC's address on that network.
    for (const std::string& s : CameraA->ProbeSources()) {
        EXPECT_EQ(s, TTwoNetworkLab::PcA);
    }
    for (const std::string& s : CameraB->ProbeSources()) {
        EXPECT_EQ(s, TTwoNetworkLab::PcB);
    }

    // An explicit address keeps its meaning: 255.255.255.255 leaves by the default route
    // only, so the second network hears nothing (which is why "auto" exists).
    SetBroadcastAddress("255.255.255.255");
    const int heardB = CameraB->Probes();
    EXPECT_EQ(Pass(3), OnlyA());
    EXPECT_EQ(CameraB->Probes(), heardB);

    // ... and so does an explicit address through one interface.
    SetSearchInterface(Lab.LinkB());
    EXPECT_EQ(Pass(3), OnlyB());
}

TEST_F(NetnsSearch, InterfaceSettingLimitsTheSearchToOneNetwork) {
    StartSession();
    SetSearchInterface(Lab.LinkB());
    const int heardA = CameraA->Probes();
    EXPECT_EQ(Pass(3), OnlyB());
    EXPECT_EQ(CameraA->Probes(), heardA);

    SetSearchInterface(Lab.LinkA());
    const int heardB = CameraB->Probes();
    EXPECT_EQ(Pass(3), OnlyA());
    EXPECT_EQ(CameraB->Probes(), heardB);

    // An interface that is not there: nothing goes out, and nothing fails.
    SetSearchInterface("nosuch0");
    EXPECT_TRUE(SearchTargets().empty());
    EXPECT_EQ(Pass(0), (std::map<std::string, std::string>{}));
}

TEST_F(NetnsSearch, InterfacesThatComeAndGoAreUsedFromTheNextPass) {
    StartSession();
    EXPECT_EQ(Pass(6), Both());

    // The second link goes down: the next pass uses the first alone, without a hitch.
    ASSERT_TRUE(Lab.SetLink(Lab.LinkB(), false)) << Lab.Error();
    int heardB = CameraB->Probes();
    EXPECT_EQ(Pass(3), OnlyA());
    EXPECT_EQ(CameraB->Probes(), heardB);
    // The settings window still offers it (a cable may be plugged in later); never "lo".
    EXPECT_EQ(platform::InterfaceNames(), (std::vector<std::string>{Lab.LinkA(), Lab.LinkB()}));

    // Up again: the same session finds the second network again.
    ASSERT_TRUE(Lab.SetLink(Lab.LinkB(), true)) << Lab.Error();
    EXPECT_EQ(Pass(6), Both());

    // An interface without an address is passed over quietly, and used again once it has
    // one.
    ASSERT_TRUE(Lab.FlushAddress(Lab.LinkB())) << Lab.Error();
    heardB = CameraB->Probes();
    EXPECT_EQ(Pass(3), OnlyA());
    EXPECT_EQ(CameraB->Probes(), heardB);
    EXPECT_EQ(platform::InterfaceNames().size(), 2u);
    ASSERT_TRUE(Lab.AddAddress(Lab.LinkB(), TTwoNetworkLab::PcB)) << Lab.Error();
    EXPECT_EQ(Pass(6), Both());
}

TEST_F(NetnsSearch, CtpVersionSearchAsksBothNetworks) {
    TCTPDeviceList replies;
    EXPECT_EQ(TSocketThread::SearchCTPDevices(replies), 2);
    std::set<std::string> addresses;
    for (const auto& r : replies) {
        addresses.insert(r.IP);
    }
    EXPECT_EQ(addresses,
              (std::set<std::string>{TTwoNetworkLab::CameraA, TTwoNetworkLab::CameraB}));

    // Limited to one interface, only that network answers.
    SetSearchInterface(Lab.LinkA());
    replies.clear();
    EXPECT_EQ(TSocketThread::SearchCTPDevices(replies), 1);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies.front().IP, TTwoNetworkLab::CameraA);
}

} // namespace
} // namespace torvane
