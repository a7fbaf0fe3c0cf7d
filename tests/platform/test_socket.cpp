// The socket layer against the loopback peers: address parsing, the CTP client's
// non-blocking TCP steps, the upload's stream, UDP datagrams and their real lengths.

#include "platform/Socket.h"
#include "support/LoopbackTcpPeer.h"
#include "support/LoopbackUdpPeer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
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
    const auto start = s.StartConnect(IPv4Loopback, port);
    ASSERT_NE(start, TTcpSocket::TConnectStart::Connected);
    if (start == TTcpSocket::TConnectStart::InProgress) {
        // The refusal shows once the handshake has ended.
        ASSERT_EQ(s.WaitWritable(1000), TWaitResult::Ready);
        EXPECT_EQ(s.PendingError(), ECONNREFUSED);
    }
    EXPECT_EQ(s.LastError(), ECONNREFUSED);
    EXPECT_EQ(s.LastErrorText(), "Connection refused");
    // The send that follows fails and keeps its errno.
    EXPECT_EQ(s.Send("x", 1), -1);
    EXPECT_NE(s.LastError(), 0);
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
    const auto start = s.StartConnect(IPv4Loopback, peer.Port());
    ASSERT_NE(start, TTcpSocket::TConnectStart::Failed) << s.LastErrorText();
    ASSERT_EQ(s.WaitWritable(1000), TWaitResult::Ready);
    EXPECT_EQ(s.PendingError(), 0);

    char buf[200] = {};
    // Nothing sent yet: a read has nothing and says so.
    EXPECT_EQ(s.Receive(buf, 199), -1);
    EXPECT_TRUE(s.LastWouldBlock());

    EXPECT_EQ(s.Send("hello", 5), 5);
    ASSERT_EQ(s.WaitReadable(8000), TWaitResult::Ready);
    const long n = s.Receive(buf, 199);
    ASSERT_EQ(n, 8);
    EXPECT_EQ(std::string(buf, 8), "REPLY OK");

    EXPECT_EQ(s.Send("abc", 3), 3);
    std::string got;
    while (got.size() < reply.size()) {
        ASSERT_EQ(s.WaitReadable(8000), TWaitResult::Ready);
        const long m = s.Receive(buf, 199);
        ASSERT_GT(m, 0);
        EXPECT_LE(m, 199) << "one read takes at most what was asked";
        got.append(buf, static_cast<std::size_t>(m));
    }
    EXPECT_EQ(got, reply);
    // The peer closed: readable, and the read gives 0.
    ASSERT_EQ(s.WaitReadable(8000), TWaitResult::Ready);
    EXPECT_EQ(s.Receive(buf, 199), 0);
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
    ASSERT_TRUE(a.Connect("localhost", peer.Port(), 2000)) << a.ErrorText();
    ASSERT_TRUE(a.SendAll("POST / HTTP/1.0\r\n\r\n", 2000)) << a.ErrorText();
    std::string reply;
    char buf[4096];
    for (;;) {
        const long n = a.ReadSome(buf, sizeof(buf), 2000);
        ASSERT_GE(n, 0) << a.ErrorText();
        if (n == 0) {
            break;
        }
        reply.append(buf, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(reply, "HTTP/1.0 200 OK\r\n\r\n");
    a.Close();

    TTcpStream b;
    ASSERT_TRUE(b.Connect("127.0.0.1", peer.Port(), 2000)) << b.ErrorText();
    ASSERT_TRUE(b.SendAll(big, 5000)) << b.ErrorText();
    const long n = b.ReadSome(buf, sizeof(buf), 5000);
    ASSERT_EQ(n, 4);
    EXPECT_EQ(std::string(buf, 4), "done");
    b.Close();

    ASSERT_TRUE(peer.WaitUntilDone(5000, 2));
    EXPECT_EQ(peer.Connection(0).Received, "POST / HTTP/1.0\r\n\r\n");
    EXPECT_EQ(peer.Connection(1).Received.size(), big.size());
}

TEST(TcpStream, RefusedSilentAndStuckPeersFailWithTexts) {
    test::TFakeSleeperScope fake(40, 50);
    TTcpStream refused;
    EXPECT_FALSE(refused.Connect("127.0.0.1", test::UnusedLoopbackTcpPort(), 60000));
    EXPECT_EQ(refused.ErrorText(), "Connection refused");
    EXPECT_FALSE(refused.IsOpen());

    TLoopbackTcpPeer peer;
    peer.AddConnection({TTcpStep::Wait(4000)}); // reads nothing, sends nothing
    TTcpStream s;
    ASSERT_TRUE(s.Connect("127.0.0.1", peer.Port(), 60000)) << s.ErrorText();
    char buf[16];
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(s.ReadSome(buf, sizeof(buf), 60000), -1); // 60000 -> 1500 ms
    EXPECT_TRUE(s.TimedOut());
    EXPECT_EQ(s.ErrorText(), "Connection timed out");
    EXPECT_LT(ElapsedMs(t0), 4000);

    // The peer never reads: the send buffers fill and the send gives up.
    const std::string huge(64 * 1024 * 1024, 'h');
    t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(s.SendAll(huge, 2000)); // 2000 -> 50 ms per wait
    EXPECT_TRUE(s.TimedOut());
    EXPECT_LT(ElapsedMs(t0), 4000);
}

TEST(UdpSocket, DatagramOfBufferSizeIsWholeOneByteMoreIsCut) {
    TUdpSocket rx;
    ASSERT_TRUE(rx.Create());
    ASSERT_TRUE(rx.Bind(IPv4Loopback, 0)) << rx.LastErrorText();
    ASSERT_NE(rx.LocalPort(), 0);
    TUdpSocket tx;
    ASSERT_TRUE(tx.Create());
    ASSERT_TRUE(tx.Bind(IPv4Loopback, 0));

    const std::string d1024(1024, 'a');
    const std::string d1025(1025, 'b');
    ASSERT_EQ(tx.SendTo(d1024.data(), d1024.size(), IPv4Loopback, rx.LocalPort()), 1024);
    ASSERT_EQ(tx.SendTo(d1025.data(), d1025.size(), IPv4Loopback, rx.LocalPort()), 1025);
    ASSERT_EQ(tx.SendTo("c", 1, IPv4Loopback, rx.LocalPort()), 1);

    char buf[1024];
    std::uint32_t from = 0;
    std::uint16_t fromPort = 0;
    ASSERT_EQ(rx.WaitReadable(1000), TWaitResult::Ready);
    EXPECT_EQ(rx.ReceiveFrom(buf, sizeof(buf), from, fromPort), 1024);
    EXPECT_EQ(std::string(buf, 1024), d1024);
    EXPECT_EQ(from, IPv4Loopback);
    EXPECT_EQ(fromPort, tx.LocalPort());

    ASSERT_EQ(rx.WaitReadable(1000), TWaitResult::Ready);
    EXPECT_EQ(rx.ReceiveFrom(buf, sizeof(buf), from, fromPort), 1025)
        << "the real length tells the caller to discard it";

    ASSERT_EQ(rx.WaitReadable(1000), TWaitResult::Ready);
    EXPECT_EQ(rx.ReceiveFrom(buf, sizeof(buf), from, fromPort), 1);
    EXPECT_EQ(buf[0], 'c') << "the cut datagram's rest is gone, the next one is whole";

    ASSERT_TRUE(rx.SetNonBlocking(true));
    EXPECT_EQ(rx.ReceiveFrom(buf, sizeof(buf), from, fromPort), -1);
    EXPECT_TRUE(rx.LastWouldBlock());
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
    EXPECT_FALSE(b.Bind(IPv4Any, port));
    EXPECT_EQ(b.LastError(), EADDRINUSE);
    EXPECT_EQ(b.LastErrorText(), "Address already in use");

    // Simulated cameras: the same port on two loopback addresses.
    TUdpSocket c5;
    TUdpSocket c6;
    ASSERT_TRUE(c5.Create());
    ASSERT_TRUE(c6.Create());
    ASSERT_TRUE(c5.Bind(0x7F000005u, 0));
    ASSERT_TRUE(c6.Bind(0x7F000006u, c5.LocalPort())) << c6.LastErrorText();

    // With SO_REUSEADDR asked for on both, the second bind of one port succeeds.
    TUdpSocket r1;
    TUdpSocket r2;
    ASSERT_TRUE(r1.Create());
    ASSERT_TRUE(r2.Create());
    ASSERT_TRUE(r1.SetReuseAddress(true));
    ASSERT_TRUE(r2.SetReuseAddress(true));
    ASSERT_TRUE(r1.Bind(IPv4Loopback, 0));
    EXPECT_TRUE(r2.Bind(IPv4Loopback, r1.LocalPort())) << r2.LastErrorText();

    // Moving keeps the one descriptor.
    const int handle = a.Handle();
    TUdpSocket moved(std::move(a));
    EXPECT_EQ(moved.Handle(), handle);
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
    ASSERT_EQ(client.SendTo("SEARCH", 6, 0x7F000007u, camera.Port()), 6);

    const auto got = camera.WaitForDatagram(2000);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->Data, "SEARCH");
    EXPECT_EQ(got->FromText(), "127.0.0.1");
    EXPECT_EQ(got->FromPort, client.LocalPort());

    char buf[1024];
    std::uint32_t from = 0;
    std::uint16_t fromPort = 0;
    ASSERT_EQ(client.WaitReadable(2000), TWaitResult::Ready);
    const long n = client.ReceiveFrom(buf, sizeof(buf), from, fromPort);
    ASSERT_EQ(n, 12);
    EXPECT_EQ(std::string(buf, 12), "REPLY SEARCH");
    EXPECT_EQ(IPv4ToText(from), "127.0.0.7");
    EXPECT_EQ(fromPort, camera.Port());

    EXPECT_FALSE(camera.SendTo("192.168.1.1", 7999, "x")) << "only loopback is ever sent to";
    EXPECT_THROW(TLoopbackUdpPeer("10.0.0.1", 0), std::runtime_error);
}

} // namespace
} // namespace torvane::platform
