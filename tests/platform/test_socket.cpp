// The socket layer against the loopback peers: address parsing, the CTP client's
// non-blocking TCP steps, the upload's stream, UDP datagrams and their real lengths.

#include "platform/Socket.h"
#include "support/LoopbackTcpPeer.h"
#include "support/LoopbackUdpPeer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <netdb.h>
#include <chrono>
#include <thread>

namespace torvane::platform {
namespace {

using test::TLoopbackTcpPeer;
using test::TLoopbackUdpPeer;
using test::TTcpStep;

long long ElapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
}

TEST(ParseIPv4, AcceptsStrictDottedDecimalOnly) {
    std::uint32_t a = 0;
    EXPECT_TRUE(ParseIPv4("192.168.1.9", a));
    EXPECT_EQ(a, 0xC0A80109u);
    EXPECT_TRUE(ParseIPv4("0.0.0.0", a));
    EXPECT_EQ(a, 0u);
    EXPECT_TRUE(ParseIPv4("127.0.0.1", a));
    EXPECT_EQ(a, IPv4Loopback);
    EXPECT_TRUE(ParseIPv4("255.255.255.255", a));
    EXPECT_EQ(a, IPv4Broadcast);
    EXPECT_TRUE(ParseIPv4("10.0.100.250", a));
    EXPECT_EQ(a, 0x0A0064FAu);

    a = 77;
    for (const char* bad :
         {"",          "1",          "1.2.3",    "1.2.3.4.5",  "256.1.1.1", "1.2.3.256",
          "1.2.3.04",  "01.2.3.4",   "00.0.0.0", "1234.1.1.1", " 1.2.3.4",  "1.2.3.4 ",
          "1..2.3",    ".1.2.3",     "1.2.3.",   "a.b.c.d",    "1.2.3.-4",  "+1.2.3.4",
          "1.2.3.4\n", "0x7f.0.0.1", "1,2,3,4",  "localhost"}) {
        EXPECT_FALSE(ParseIPv4(bad, a)) << '"' << bad << '"';
    }
    EXPECT_EQ(a, 77u) << "a refused text leaves the output alone";
    EXPECT_FALSE(ParseIPv4(std::string_view("1.2.3.4\0", 8), a));
}

TEST(ParseIPv4, TextFormsRoundTrip) {
    EXPECT_EQ(IPv4ToText(0xC0A80109u), "192.168.1.9");
    EXPECT_EQ(IPv4ToText(IPv4Any), "0.0.0.0");
    EXPECT_EQ(IPv4ToText(IPv4Broadcast), "255.255.255.255");
    const std::uint8_t bytes[4] = {10, 0, 0, 1};
    EXPECT_EQ(IPv4BytesToText(bytes), "10.0.0.1");
    std::uint32_t a = 0;
    ASSERT_TRUE(ParseIPv4(IPv4ToText(0x7F0000FEu), a));
    EXPECT_EQ(a, 0x7F0000FEu);
}

TEST(TcpSocket, NonBlockingConnectToClosedPortFails) {
    const std::uint16_t port = test::UnusedLoopbackTcpPort();
    ASSERT_NE(port, 0);
    TTcpSocket s;
    ASSERT_TRUE(s.Create());
    ASSERT_TRUE(s.SetNonBlocking(true));
    ASSERT_TRUE(s.SetNoDelay(true));
    const TSocketStatus start = s.StartConnect(IPv4Loopback, port);
    ASSERT_FALSE(start.Ok());
    int error = start.Error();
    if (start.InProgress()) {
        // The refusal shows once the handshake has ended.
        ASSERT_EQ(s.WaitWritable(1000), TWaitResult::Ready);
        error = s.FailedConnectError(); // looked at without waiting
        EXPECT_EQ(s.PendingError(), 0) << "reading the outcome cleared it";
    }
    EXPECT_EQ(error, ECONNREFUSED);
    EXPECT_EQ(TSocketStatus(error).ErrorText(), "Connection refused");
    // The send that follows fails and says why with its result.
    const TSocketResult sent = s.Send("x", 1);
    EXPECT_FALSE(sent.Ok());
    EXPECT_NE(sent.Error, 0);
    EXPECT_FALSE(sent.ErrorText().empty());
    EXPECT_TRUE(s.Close());
    EXPECT_FALSE(s.IsOpen());
    EXPECT_TRUE(s.Close()) << "closing a closed socket is no error";
}

TEST(TcpSocket, CtpStyleExchangeWithScriptedPeer) {
    TLoopbackTcpPeer peer;
    const std::string reply(300, 'r');
    peer.AddConnection({TTcpStep::Expect(5), TTcpStep::Send("REPLY OK"), TTcpStep::Expect(3),
                        TTcpStep::Send(reply), TTcpStep::Close()});

    TTcpSocket s;
    ASSERT_TRUE(s.Create());
    ASSERT_TRUE(s.SetNonBlocking(true));
    ASSERT_TRUE(s.SetNoDelay(true));
    const TSocketStatus start = s.StartConnect(IPv4Loopback, peer.Port());
    ASSERT_TRUE(start.Ok() || start.InProgress()) << start.ErrorText();
    ASSERT_EQ(s.WaitWritable(1000), TWaitResult::Ready);
    EXPECT_EQ(s.FailedConnectError(), 0);
    EXPECT_EQ(s.PendingError(), 0);

    char buf[200] = {};
    // Nothing sent yet: a read has nothing and says so.
    EXPECT_FALSE(s.ReadableNow());
    const TSocketResult none = s.Receive(buf, 199);
    EXPECT_FALSE(none.Ok());
    EXPECT_TRUE(none.WouldBlock());

    EXPECT_EQ(s.Send("hello", 5).Count, 5u);
    ASSERT_EQ(s.WaitReadable(8000), TWaitResult::Ready);
    const TSocketResult n = s.Receive(buf, 199);
    ASSERT_TRUE(n.Ok());
    ASSERT_EQ(n.Count, 8u);
    EXPECT_EQ(std::string(buf, 8), "REPLY OK");

    EXPECT_EQ(s.Send("abc", 3).Count, 3u);
    std::string got;
    while (got.size() < reply.size()) {
        ASSERT_EQ(s.WaitReadable(8000), TWaitResult::Ready);
        const TSocketResult m = s.Receive(buf, 199);
        ASSERT_TRUE(m.Ok()) << m.ErrorText();
        ASSERT_GT(m.Count, 0u);
        EXPECT_LE(m.Count, 199u) << "one read takes at most what was asked";
        got.append(buf, m.Count);
    }
    EXPECT_EQ(got, reply);
    // The peer closed: readable, and the read gives 0.
    ASSERT_EQ(s.WaitReadable(8000), TWaitResult::Ready);
    const TSocketResult end = s.Receive(buf, 199);
    EXPECT_TRUE(end.Ok());
    EXPECT_EQ(end.Count, 0u);
    EXPECT_TRUE(s.Close());

    ASSERT_TRUE(peer.WaitUntilDone(2000));
    const auto rec = peer.Connection(0);
    EXPECT_EQ(rec.Received, "helloabc");
    ASSERT_EQ(rec.Expected.size(), 2u);
    EXPECT_EQ(rec.Expected[0], "hello");
    EXPECT_EQ(rec.Expected[1], "abc");
    EXPECT_TRUE(rec.ScriptCompleted) << rec.Failure;
}

TEST(TcpSocket, WaitsAreShortenedByTheSleeper) {
    test::TFakeSleeperScope fake(40, 50); // 8000 ms -> 200 ms
    TLoopbackTcpPeer peer;
    peer.AddConnection({TTcpStep::Wait(3000)});
    TTcpSocket s;
    ASSERT_TRUE(s.Create());
    ASSERT_TRUE(s.SetNonBlocking(true));
    (void)s.StartConnect(IPv4Loopback, peer.Port());
    ASSERT_EQ(s.WaitWritable(1000), TWaitResult::Ready);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(s.WaitReadable(8000), TWaitResult::TimedOut);
    const auto ms = ElapsedMs(t0);
    EXPECT_GE(ms, 150);
    EXPECT_LT(ms, 2000);
}

TEST(TcpStream, ConnectsByNameAndAddressSendsAndReads) {
    TLoopbackTcpPeer peer;
    const std::string big(3 * 1024 * 1024, 'b');
    peer.AddConnection({TTcpStep::ExpectUntil("\r\n\r\n"),
                        TTcpStep::Send("HTTP/1.0 200 OK\r\n\r\n"), TTcpStep::Close()});
    peer.AddConnection(
        {TTcpStep::Expect(big.size(), 10000), TTcpStep::Send("done"), TTcpStep::Close()});

    TTcpStream a;
    const TSocketStatus connected = a.Connect("localhost", peer.Port(), 2000);
    ASSERT_TRUE(connected) << connected.ErrorText();
    const TSocketResult request = a.SendAll("POST / HTTP/1.0\r\n\r\n", 2000);
    ASSERT_TRUE(request.Ok()) << request.ErrorText();
    EXPECT_EQ(request.Count, 19u);
    std::string reply;
    char buf[4096];
    for (;;) {
        const TSocketResult n = a.ReadSome(buf, sizeof(buf), 2000);
        ASSERT_TRUE(n.Ok()) << n.ErrorText();
        if (n.Count == 0) {
            break;
        }
        reply.append(buf, n.Count);
    }
    EXPECT_EQ(reply, "HTTP/1.0 200 OK\r\n\r\n");
    a.Close();

    TTcpStream b;
    const TSocketStatus connectedB = b.Connect("127.0.0.1", peer.Port(), 2000);
    ASSERT_TRUE(connectedB) << connectedB.ErrorText();
    const TSocketResult bigSent = b.SendAll(big, 5000);
    ASSERT_TRUE(bigSent.Ok()) << bigSent.ErrorText();
    const TSocketResult n = b.ReadSome(buf, sizeof(buf), 5000);
    ASSERT_EQ(n.Count, 4u);
    EXPECT_EQ(std::string(buf, 4), "done");
    b.Close();

    ASSERT_TRUE(peer.WaitUntilDone(5000, 2));
    EXPECT_EQ(peer.Connection(0).Received, "POST / HTTP/1.0\r\n\r\n");
    EXPECT_EQ(peer.Connection(1).Received.size(), big.size());
}

TEST(TcpStream, RefusedSilentAndStuckPeersFailWithTexts) {
    test::TFakeSleeperScope fake(40, 50);
    TTcpStream refused;
    const TSocketStatus refusal = refused.Connect("127.0.0.1", test::UnusedLoopbackTcpPort(), 60000);
    EXPECT_FALSE(refusal);
    EXPECT_EQ(refusal.ErrorText(), "Connection refused");
    EXPECT_FALSE(refused.IsOpen());

    // A resolver's error is negative and has its own text (no lookup is made here).
    EXPECT_FALSE(TSocketStatus(EAI_NONAME).ErrorText().empty());
    EXPECT_NE(TSocketStatus(EAI_NONAME).ErrorText(), ErrnoText(-EAI_NONAME));

    TLoopbackTcpPeer peer;
    peer.AddConnection({TTcpStep::Wait(4000)}); // reads nothing, sends nothing
    TTcpStream s;
    const TSocketStatus connected = s.Connect("127.0.0.1", peer.Port(), 60000);
    ASSERT_TRUE(connected) << connected.ErrorText();
    char buf[16];
    auto t0 = std::chrono::steady_clock::now();
    const TSocketResult silent = s.ReadSome(buf, sizeof(buf), 60000); // 60000 -> 1500 ms
    EXPECT_FALSE(silent.Ok());
    EXPECT_TRUE(silent.TimedOut());
    EXPECT_EQ(silent.ErrorText(), "Connection timed out");
    EXPECT_LT(ElapsedMs(t0), 4000);

    // The peer never reads: the send buffers fill and the send gives up.
    const std::string huge(64 * 1024 * 1024, 'h');
    t0 = std::chrono::steady_clock::now();
    const TSocketResult stuck = s.SendAll(huge, 2000); // 2000 -> 50 ms per wait
    EXPECT_FALSE(stuck.Ok());
    EXPECT_TRUE(stuck.TimedOut());
    EXPECT_GT(stuck.Count, 0u) << "what went out before the peer stopped reading";
    EXPECT_LT(stuck.Count, huge.size());
    EXPECT_LT(ElapsedMs(t0), 4000);
}

TEST(UdpSocket, DatagramOfBufferSizeIsWholeOneByteMoreIsCut) {
    TUdpSocket rx;
    ASSERT_TRUE(rx.Create());
    const TSocketStatus bound = rx.Bind(IPv4Loopback, 0);
    ASSERT_TRUE(bound) << bound.ErrorText();
    ASSERT_NE(rx.LocalPort(), 0);
    TUdpSocket tx;
    ASSERT_TRUE(tx.Create());
    ASSERT_TRUE(tx.Bind(IPv4Loopback, 0));

    const std::string d1024(1024, 'a');
    const std::string d1025(1025, 'b');
    ASSERT_EQ(tx.SendTo(d1024.data(), d1024.size(), IPv4Loopback, rx.LocalPort()).Count, 1024u);
    ASSERT_EQ(tx.SendTo(d1025.data(), d1025.size(), IPv4Loopback, rx.LocalPort()).Count, 1025u);
    ASSERT_EQ(tx.SendTo("c", 1, IPv4Loopback, rx.LocalPort()).Count, 1u);

    char buf[1024];
    ASSERT_EQ(rx.WaitReadable(1000), TWaitResult::Ready);
    TReceivedDatagram got = rx.ReceiveFrom(buf, sizeof(buf));
    EXPECT_TRUE(got.Ok());
    EXPECT_EQ(got.Count, 1024u);
    EXPECT_EQ(std::string(buf, 1024), d1024);
    EXPECT_EQ(got.From, IPv4Loopback);
    EXPECT_EQ(got.FromPort, tx.LocalPort());
    EXPECT_EQ(got.InterfaceIndex, 0u) << "not asked for";

    ASSERT_EQ(rx.WaitReadable(1000), TWaitResult::Ready);
    EXPECT_EQ(rx.ReceiveFrom(buf, sizeof(buf)).Count, 1025u)
        << "the real length tells the caller to discard it";

    ASSERT_EQ(rx.WaitReadable(1000), TWaitResult::Ready);
    EXPECT_EQ(rx.ReceiveFrom(buf, sizeof(buf)).Count, 1u);
    EXPECT_EQ(buf[0], 'c') << "the cut datagram's rest is gone, the next one is whole";

    ASSERT_TRUE(rx.SetNonBlocking(true));
    got = rx.ReceiveFrom(buf, sizeof(buf));
    EXPECT_FALSE(got.Ok());
    EXPECT_TRUE(got.WouldBlock());
}

TEST(UdpSocket, OptionsBindsAndPortReuse) {
    TUdpSocket a;
    ASSERT_TRUE(a.Create());
    EXPECT_FALSE(a.Broadcast());
    ASSERT_TRUE(a.SetBroadcast(true));
    EXPECT_TRUE(a.Broadcast());
    ASSERT_TRUE(a.SetBroadcast(false));
    EXPECT_FALSE(a.Broadcast());
    ASSERT_TRUE(a.Bind(IPv4Any, 0));
    const std::uint16_t port = a.LocalPort();
    ASSERT_NE(port, 0);

    // Without SO_REUSEADDR a taken port is refused: that is how free ports are found.
    TUdpSocket b;
    ASSERT_TRUE(b.Create());
    const TSocketStatus taken = b.Bind(IPv4Any, port);
    EXPECT_FALSE(taken);
    EXPECT_EQ(taken.Error(), EADDRINUSE);
    EXPECT_EQ(taken.ErrorText(), "Address already in use");

    // Simulated cameras: the same port on two loopback addresses.
    TUdpSocket c5;
    TUdpSocket c6;
    ASSERT_TRUE(c5.Create());
    ASSERT_TRUE(c6.Create());
    ASSERT_TRUE(c5.Bind(0x7F000005u, 0));
    const TSocketStatus second = c6.Bind(0x7F000006u, c5.LocalPort());
    ASSERT_TRUE(second) << second.ErrorText();

    // With SO_REUSEADDR asked for on both, the second bind of one port succeeds.
    TUdpSocket r1;
    TUdpSocket r2;
    ASSERT_TRUE(r1.Create());
    ASSERT_TRUE(r2.Create());
    ASSERT_TRUE(r1.SetReuseAddress(true));
    ASSERT_TRUE(r2.SetReuseAddress(true));
    ASSERT_TRUE(r1.Bind(IPv4Loopback, 0));
    const TSocketStatus reused = r2.Bind(IPv4Loopback, r1.LocalPort());
    EXPECT_TRUE(reused) << reused.ErrorText();

    // Moving keeps the one descriptor (and so its port).
    TUdpSocket moved(std::move(a));
    EXPECT_TRUE(moved.IsOpen());
    EXPECT_FALSE(a.IsOpen()); // NOLINT(bugprone-use-after-move): moved-from is empty
    EXPECT_EQ(moved.LocalPort(), port);
}

TEST(UdpSocket, ShutdownWakesAWaitingThreadAndWaitsAreShortened) {
    TUdpSocket s;
    ASSERT_TRUE(s.Create());
    ASSERT_TRUE(s.Bind(IPv4Loopback, 0));
    TWaitResult result = TWaitResult::Failed;
    const auto t0 = std::chrono::steady_clock::now();
    std::thread waiter([&] { result = s.WaitReadable(10000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    s.Shutdown();
    waiter.join();
    EXPECT_EQ(result, TWaitResult::Ready);
    EXPECT_LT(ElapsedMs(t0), 5000);
    EXPECT_TRUE(s.Close());

    test::TFakeSleeperScope fake(40, 50); // 8000 -> 200 ms
    TUdpSocket idle;
    ASSERT_TRUE(idle.Create());
    ASSERT_TRUE(idle.Bind(IPv4Loopback, 0));
    const auto t1 = std::chrono::steady_clock::now();
    EXPECT_EQ(idle.WaitReadable(8000), TWaitResult::TimedOut);
    EXPECT_GE(ElapsedMs(t1), 150);
    EXPECT_LT(ElapsedMs(t1), 2000);
}

TEST(LoopbackUdpPeer, RecordsSendersAndAnswers) {
    TLoopbackUdpPeer camera("127.0.0.7", 0);
    camera.SetResponder(
        [](const test::TDatagram& d) { return std::vector<std::string>{"REPLY " + d.Data}; });
    TUdpSocket client;
    ASSERT_TRUE(client.Create());
    ASSERT_TRUE(client.Bind(IPv4Loopback, 0));
    ASSERT_EQ(client.SendTo("SEARCH", 6, 0x7F000007u, camera.Port()).Count, 6u);

    const auto got = camera.WaitForDatagram(2000);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->Data, "SEARCH");
    EXPECT_EQ(got->FromText(), "127.0.0.1");
    EXPECT_EQ(got->FromPort, client.LocalPort());

    char buf[1024];
    ASSERT_EQ(client.WaitReadable(2000), TWaitResult::Ready);
    const TReceivedDatagram n = client.ReceiveFrom(buf, sizeof(buf));
    ASSERT_EQ(n.Count, 12u);
    EXPECT_EQ(std::string(buf, 12), "REPLY SEARCH");
    EXPECT_EQ(IPv4ToText(n.From), "127.0.0.7");
    EXPECT_EQ(n.FromPort, camera.Port());

    EXPECT_FALSE(camera.SendTo("192.168.1.1", 7999, "x")) << "only loopback is ever sent to";
    EXPECT_THROW(TLoopbackUdpPeer("10.0.0.1", 0), std::runtime_error);
}

} // namespace
} // namespace torvane::platform
