// The vendor library search: loading from 909/ beside the program, the callback from the
// library's thread and its hand-over to the main thread.

#include "DiscoveryTestUtil.h"
#include "discovery/DiscoverySession.h"
#include "platform/Folders.h"
#include "support/LoopbackUdpPeer.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace torvane {
namespace {

class VendorTest : public test::TDiscoveryTest {};

// Entry points of the test library that tell what it was asked to do.
// Listeners high up, every probe to one recording peer.
TDiscoveryPorts SinkPorts(std::uint16_t sink) {
    TDiscoveryPorts p;
    p.MOIListenerBase = p.SQ610ListenerBase = p.UicamListenerBase = 47300;
    p.CTPListenerBase = 47310;
    p.Listener1010Base = 47320;
    p.SQ610To = p.MOITo = p.UicamTo = p.CTPTo = p.To1010 = p.ImagiaTo = p.T924To = sink;
    return p;
}

int LibraryCounter(const char* name) {
    void* lib = ::dlopen(TFind_Hisi::DefaultLibraryPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (lib == nullptr) {
        return -1;
    }
    auto fn = reinterpret_cast<int (*)()>(::dlsym(lib, name));
    const int value = fn != nullptr ? fn() : -1;
    ::dlclose(lib);
    return value;
}

TEST_F(VendorTest, FindReportsLibraryCamerasThatNeverAge) {
    ASSERT_TRUE(platform::FileExists(TFind_Hisi::DefaultLibraryPath()))
        << TFind_Hisi::DefaultLibraryPath();
    // Held by the test too, so that its counters can be read after the session unloads it.
    void* keep = ::dlopen(TFind_Hisi::DefaultLibraryPath().c_str(), RTLD_NOW);
    ASSERT_NE(keep, nullptr);
    test::TLoopbackUdpPeer sink("127.0.0.1");
    {
        TDiscoverySession session(SinkPorts(sink.Port()), nullptr);
        session.Start(); // listeners on the real base ports or above; nothing is sent there
        session.Find();
        ASSERT_TRUE(DrainUntil([&] { return LibraryCounter("FakeDvsNet_Searches") >= 1; }));
        // Three reports, one of them repeated: two entries.
        ASSERT_TRUE(DrainUntil([&] { return session.Count() == 2; }));
        const TDevInfo* lobby = session.FindDevice("00AABBCCDD01");
        ASSERT_NE(lobby, nullptr);
        EXPECT_EQ(lobby->nType, 4);
        EXPECT_EQ(lobby->szName, "Lobby");
        EXPECT_EQ(lobby->szIPAddr, "192.168.5.20");
        EXPECT_EQ(lobby->szMask, "255.255.255.0");
        EXPECT_EQ(lobby->szGateway, "192.168.5.1");
        EXPECT_EQ(lobby->szAux, "extra");
        EXPECT_EQ(lobby->szDNS1, "192.168.5.1");
        EXPECT_EQ(lobby->wPort, 0x0050);
        EXPECT_EQ(lobby->wPort2, 554);
        EXPECT_EQ(lobby->wAux, 0x2345);
        EXPECT_EQ(lobby->nAux, -7);
        EXPECT_EQ(lobby->btDHCP, 1);
        EXPECT_EQ(lobby->szMac, "");
        EXPECT_EQ(session.FindDevice("00AABBCCDD02")->btDHCP, 2);
        EXPECT_EQ(session.Item(0).szIPAddr, "192.168.5.3");
        EXPECT_EQ(session.Item(session.SelectedIndex()).szName, "Lobby"); // the first one added

        for (int i = 0; i < 15; ++i) {
            session.Tick();
        }
        EXPECT_EQ(session.Count(), 2);
        // Find clears the list and asks again.
        session.Find();
        EXPECT_LE(session.Count(), 2);
        ASSERT_TRUE(DrainUntil([&] { return session.Count() == 2; }));
        EXPECT_EQ(LibraryCounter("FakeDvsNet_Stops"), 0);
    }
    // The session's teardown stopped the library's search before unloading it.
    EXPECT_EQ(LibraryCounter("FakeDvsNet_Stops"), 1);
    ::dlclose(keep);
}

TEST_F(VendorTest, WithoutTheLibraryFindStillWorks) {
    const std::string missing = platform::TempFolder() + "no-such-folder/909/libDVSNETClient.so";
    TFind_Hisi finder(missing);
    EXPECT_FALSE(finder.Loaded());
    EXPECT_FALSE(finder.Search());

    test::TLoopbackUdpPeer sink("127.0.0.1");
    TDiscoverySession session(SinkPorts(sink.Port()), nullptr, missing);
    session.Start();
    session.Find();
    session.HandleDatagram("REPLY\r\n-ip 10.0.0.5");
    EXPECT_EQ(session.Count(), 1);
    Host.Queue().RunPending();
    EXPECT_EQ(session.Count(), 1);
    EXPECT_TRUE(Host.Boxes().empty());
}

} // namespace
} // namespace torvane
