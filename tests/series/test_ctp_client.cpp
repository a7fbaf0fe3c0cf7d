// The CTP client against scripted loopback cameras: the bytes on the wire, the replies,
// the package checks and the three phases of an upload.

#include "Pk2Builder.h"
#include "i18n/Deployment.h"
#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "platform/Folders.h"
#include "series/uEUpgradeFile.h"
#include "support/FakeSleeper.h"
#include "support/LoopbackCtpCamera.h"
#include "support/LoopbackTcpPeer.h"
#include "support/LoopbackUdpPeer.h"
#include "support/TestSupport.h"
#include "upgrade/Progress.h"
#include "upgrade/md5.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace torvane;
using torvane::test::TLoopbackTcpPeer;
using torvane::test::TTcpScript;
using torvane::test::TTcpStep;
using torvane::test::CmdSection;
using torvane::test::FileSection;
using torvane::test::Le32;
using torvane::test::Package;
using torvane::test::SectionHeader;

namespace {

constexpr const char* ReplyOk = "REPLY OK\r\n";
const std::string Probe = "CMD 10\r\necho hello";
const std::string LoginAdmin =
    "CMD cfgusr CTP/1.0\r\nContent-Length:17\r\n\r\n-login admin:\r\n\r\n";
const std::string Exit = "CMD exit CTP/1.0\r\n";

std::string Xored(std::string bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(bytes[i] ^ TransferKey[i % 8]);
    }
    return bytes;
}

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    }
    return s;
}

std::string WritePackage(const std::string& bytes) {
    const std::string path = test::ScratchPath("pkg");
    EXPECT_TRUE(test::WriteWholeFile(path, bytes));
    return path;
}

// Expect each frame of the given sizes and answer it with an OK reply.
void AnswerFrames(TTcpScript& script, const std::vector<std::size_t>& sizes) {
    for (const std::size_t n : sizes) {
        script.push_back(TTcpStep::Expect(n));
        script.push_back(TTcpStep::Send(ReplyOk));
    }
}

// The conversation of the configuration mode: login and exit, both answered with "200".
TTcpScript ConfigurationMode(const std::string& loginAnswer = "200 OK\r\n",
                             const std::string& exitAnswer = "200 OK\r\n") {
    return {TTcpStep::Expect(LoginAdmin.size()), TTcpStep::Send(loginAnswer),
            TTcpStep::Expect(Exit.size()), TTcpStep::Send(exitAnswer), TTcpStep::ExpectClose()};
}

// A fake sleeper that runs a hook on every wait (to change the camera at that moment).
class THookSleeper : public test::TFakeSleeper {
public:
    void Sleep(int ms) override {
        TFakeSleeper::Sleep(ms);
        if (OnSleep) {
            OnSleep(ms);
        }
    }
    std::function<void(int)> OnSleep;
};

// A camera on 127.0.0.1 that takes one connection, reads `expect` bytes and then resets it
// (a close with a zero linger sends RST), so that the client's next read fails outright
// rather than finding no data yet.
class TResettingCamera {
public:
    explicit TResettingCamera(std::size_t expect) {
        FListener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (FListener < 0 || ::bind(FListener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(FListener, 1) != 0 ||
            ::getsockname(FListener, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            throw std::runtime_error("no loopback listener");
        }
        FPort = ntohs(a.sin_port);
        FThread = std::thread([this, expect] {
            const int c = ::accept(FListener, nullptr, nullptr);
            if (c < 0) {
                return;
            }
            std::string got;
            char buffer[256];
            while (got.size() < expect) {
                const ssize_t n = ::recv(c, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    break;
                }
                got.append(buffer, static_cast<std::size_t>(n));
            }
            const linger reset{1, 0};
            (void)::setsockopt(c, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            ::close(c);
        });
    }
    ~TResettingCamera() {
        ::shutdown(FListener, SHUT_RDWR); // ends an accept that never got its connection
        FThread.join();
        ::close(FListener);
    }
    TResettingCamera(const TResettingCamera&) = delete;
    TResettingCamera& operator=(const TResettingCamera&) = delete;
    [[nodiscard]] std::uint16_t Port() const { return FPort; }

private:
    int FListener = -1;
    std::uint16_t FPort = 0;
    std::thread FThread;
};

class CtpClient : public ::testing::Test {
protected:
    void SetUp() override {
        // Replies are awaited 500 ms instead of 8 s, search replies 150 ms: enough for a
        // loopback peer on a busy machine, short for the cases where nothing comes.
        FSleeper.TimeoutDivisor = 16;
        FSleeper.MinTimeoutMs = 150;
        platform::SetSleeper(&FSleeper);
        SetBroadcastAddress("127.0.0.1");
    }
    void TearDown() override { platform::SetSleeper(nullptr); }

    // A client connected to the peer.
    std::unique_ptr<TSocketThread> Connect(const TLoopbackTcpPeer& peer) {
        auto client = std::make_unique<TSocketThread>("127.0.0.1", peer.Port());
        EXPECT_EQ(client->ConnectDevice(), CtpOk);
        return client;
    }

    // The probe frame against a camera that answers with the given steps.
    int ProbeWith(TTcpScript answer) {
        TLoopbackTcpPeer peer;
        TTcpScript script{TTcpStep::Expect(Probe.size())};
        script.insert(script.end(), answer.begin(), answer.end());
        peer.AddConnection(script);
        auto client = Connect(peer);
        return client->SendProbe();
    }

    TfrmStrRes FPacks{"ctp_client_test"};
    THookSleeper FSleeper;
};

} // namespace

TEST_F(CtpClient, ConnectRefusesBadAddressesAndReportsRefusedConnections) {
    for (const char* ip : {"255.255.255.255", "1.2.3", "127.0.0.1 ", "localhost", "", "1.2.3.256"}) {
        TSocketThread client(ip, 81);
        EXPECT_EQ(client.ConnectDevice(), CtpBadAddress) << ip;
    }
    TSocketThread refused("127.0.0.1", test::UnusedLoopbackTcpPort());
    EXPECT_EQ(refused.ConnectDevice(), CtpConnectFailed);
    TSocketThread noPort("127.0.0.1", 0);
    EXPECT_EQ(noPort.ConnectDevice(), CtpConnectFailed);
    // The connection attempt is followed by the 1000 ms wait.
    FSleeper.Clear();
    TLoopbackTcpPeer peer;
    TSocketThread client("127.0.0.1", peer.Port());
    EXPECT_EQ(client.ConnectDevice(), CtpOk);
    EXPECT_EQ(FSleeper.Waits(), std::vector<int>{1000});
    EXPECT_EQ(client.CloseSocket(), CtpOk);
    EXPECT_EQ(client.CloseSocket(), CtpOk);
}

TEST_F(CtpClient, LoginAndExitMessagesAndTheirAnswers) {
    TLoopbackTcpPeer peer;
    // Answers: "200" after 199 bytes is not seen; a long answer is read once.
    peer.AddConnection({TTcpStep::Expect(LoginAdmin.size()), TTcpStep::Send("200 OK\r\n"),
                        TTcpStep::Expect(Exit.size()), TTcpStep::Send("200" + std::string(300, '.')),
                        TTcpStep::ExpectClose()});
    auto client = Connect(peer);
    EXPECT_EQ(client->SendLogin(" admin ", ""), CtpOk);
    EXPECT_EQ(client->Message(), LoginAdmin); // 17-byte body, "Content-Length:17"
    EXPECT_EQ(client->SendExit(), CtpOk);
    EXPECT_EQ(client->Message(), Exit);
    client.reset();
    ASSERT_TRUE(peer.WaitUntilDone(5000));
    EXPECT_EQ(peer.Connection(0).Received, LoginAdmin + Exit);

    TLoopbackTcpPeer refusing;
    refusing.AddConnection({TTcpStep::Expect(LoginAdmin.size()), TTcpStep::Send("401 Unauthorized\r\n"),
                            TTcpStep::Expect(Exit.size()), TTcpStep::Close()});
    client = Connect(refusing);
    EXPECT_EQ(client->SendLogin("admin", ""), CtpRefused);
    EXPECT_TRUE(client->LastRequestAnswered()); // refused by an answer
    EXPECT_EQ(client->SendExit(), CtpRefused); // closed without an answer
    EXPECT_FALSE(client->LastRequestAnswered());
    std::string answer;
    int length = 0;
    EXPECT_EQ(client->RecvAnswer(answer, length), CtpClosed);

    TLoopbackTcpPeer late;
    late.AddConnection({TTcpStep::Expect(Exit.size()), TTcpStep::Send(std::string(199, '.') + "200")});
    client = Connect(late);
    EXPECT_EQ(client->SendExit(), CtpRefused); // "200" only after the first 199 bytes

    TLoopbackTcpPeer silent;
    client = Connect(silent);
    EXPECT_EQ(client->SendLogin("admin", "pw"), CtpRefused); // nothing within the deadline
    EXPECT_FALSE(client->LastRequestAnswered());
    EXPECT_EQ(client->RecvAnswer(answer, length), CtpTimedOut);

    // Credentials that do not fit one message are not sent at all.
    TSocketThread unconnected("127.0.0.1", 1);
    EXPECT_EQ(unconnected.SendLogin("admin", std::string(3000, 'p')), CtpSendFailed);
    EXPECT_EQ(unconnected.SendExit(), CtpSendFailed); // no connection

    // Nor are credentials with a line break, which would add lines to the request.
    TLoopbackTcpPeer injected;
    client = Connect(injected);
    EXPECT_EQ(client->SendLogin("admin", "pw\r\n\r\nCMD exit CTP/1.0"), CtpSendFailed);
    EXPECT_EQ(client->SendLogin("ad\nmin", "pw"), CtpSendFailed);
    client.reset();
    ASSERT_TRUE(injected.WaitUntilDone(5000));
    EXPECT_EQ(injected.Connection(0).Received, "");
}

TEST_F(CtpClient, RepliesOkContinueRefusalsAndBrokenCameras) {
    EXPECT_EQ(ProbeWith({TTcpStep::Send(ReplyOk)}), CtpOk);
    EXPECT_EQ(ProbeWith({TTcpStep::Send("REPLY OKAY then more\r\n")}), CtpOk);
    EXPECT_EQ(ProbeWith({TTcpStep::Send("REPLY FAIL\r\n")}), CtpRefused);
    EXPECT_EQ(ProbeWith({TTcpStep::Send("REPLY ok\r\n")}), CtpRefused); // case-sensitive
    EXPECT_EQ(ProbeWith({TTcpStep::Send("REPLY Continue 1\r\n"), TTcpStep::Wait(50),
                         TTcpStep::Send("REPLY Continue 2\r\n"), TTcpStep::Wait(50),
                         TTcpStep::Send(ReplyOk)}),
              CtpOk);
    // Two replies in one read: the second one is not lost.
    EXPECT_EQ(ProbeWith({TTcpStep::Send("REPLY Continue 1\r\nREPLY OK\r\n")}), CtpOk);
    EXPECT_EQ(ProbeWith({TTcpStep::Send("REPLY Continue 1\r\nREPLY nope\r\n")}), CtpRefused);
    EXPECT_EQ(ProbeWith({TTcpStep::Send("REPLY Continue 0\r\n")}), CtpRefused);
    // After a Continue, lines that are no replies (progress notes) are passed over, whether
    // they came in the read of the Continue line or later; the reply after them decides.
    EXPECT_EQ(ProbeWith({TTcpStep::Send("REPLY Continue 1\r\nProgress: 50\r\n"), TTcpStep::Wait(50),
                         TTcpStep::Send(ReplyOk)}),
              CtpOk);
    EXPECT_EQ(ProbeWith({TTcpStep::Send("REPLY Continue 1\r\nProgress: 50\r\nREPLY OK\r\n")}),
              CtpOk);
    EXPECT_EQ(ProbeWith({TTcpStep::Send("REPLY Continue 1\r\n"), TTcpStep::Wait(50),
                         TTcpStep::Send("Progress: 90\r\n"), TTcpStep::Wait(50),
                         TTcpStep::Send("REPLY Checksum error\r\n")}),
              CtpRefused);
    // Before any Continue, a text that is no reply is still one (-3).
    EXPECT_EQ(ProbeWith({TTcpStep::Send("Progress: 50\r\nREPLY OK\r\n")}), CtpNotReply);
    // A Continue that is never followed by a further reply ends within the bounded total
    // (60 s, here 1 s), also when the camera keeps talking without ever replying.
    FSleeper.TimeoutDivisor = 60;
    EXPECT_EQ(ProbeWith({TTcpStep::Send("REPLY Continue 1\r\n"), TTcpStep::Wait(4000)}),
              CtpTimedOut);
    TTcpScript chatter{TTcpStep::Send("REPLY Continue 1\r\n")};
    for (int i = 0; i < 200; ++i) {
        chatter.push_back(TTcpStep::Send("Progress: " + std::to_string(i) + "\r\n"));
        chatter.push_back(TTcpStep::Wait(20));
    }
    EXPECT_EQ(ProbeWith(chatter), CtpTimedOut);
    FSleeper.TimeoutDivisor = 16;
    EXPECT_EQ(ProbeWith({TTcpStep::Send("OK\r\n")}), CtpNotReply);
    EXPECT_EQ(ProbeWith({TTcpStep::Send("REPLY")}), CtpNotReply);
    EXPECT_EQ(ProbeWith({TTcpStep::Close()}), CtpClosed);
    EXPECT_EQ(ProbeWith({TTcpStep::Wait(3000)}), CtpTimedOut);

    // More than 199 bytes: one read takes the first 199, the rest is no reply of its own.
    TLoopbackTcpPeer chatty;
    chatty.AddConnection({TTcpStep::Expect(Probe.size()),
                          TTcpStep::Send("REPLY OK" + std::string(300, 'x')),
                          TTcpStep::Expect(Probe.size())});
    auto client = Connect(chatty);
    EXPECT_EQ(client->SendProbe(), CtpOk);
    EXPECT_EQ(client->SendProbe(), CtpNotReply);
    std::string reply;
    int length = 0;
    TLoopbackTcpPeer longReply;
    longReply.AddConnection({TTcpStep::Send("REPLY OK" + std::string(300, 'x'))});
    client = Connect(longReply);
    EXPECT_EQ(client->RecvReply(reply, length), CtpOk);
    EXPECT_EQ(length, 193);
    EXPECT_EQ(reply, "OK" + std::string(191, 'x'));

    // A read that fails outright (the camera reset the connection) gives -1, after the
    // same 1000 ms pause that a read finding no data yet gets.
    TResettingCamera resetting(Probe.size());
    client = std::make_unique<TSocketThread>("127.0.0.1", resetting.Port());
    ASSERT_EQ(client->ConnectDevice(), CtpOk);
    FSleeper.Clear();
    EXPECT_EQ(client->SendProbe(), CtpReceiveFailed);
    EXPECT_EQ(FSleeper.Waits(), std::vector<int>{CtpRetryReadWaitMs});
}

namespace {

// Tells the first one-second step of the reboot wait among an upload's waits: the first
// 1000 ms wait after the second mode switch (configuration mode, then upgrade mode).
class TRebootWaitStart {
public:
    bool operator()(int ms) {
        if (ms == CtpModeSwitchWaitMs) {
            ++FSwitches;
            return false;
        }
        return FSwitches == 2 && ms == 1000 && !std::exchange(FSeen, true);
    }

private:
    int FSwitches = 0;
    bool FSeen = false;
};

// The steps that send bytes one segment at a time.
TTcpScript ByteByByte(const std::string& bytes) {
    TTcpScript script;
    for (const char c : bytes) {
        script.push_back(TTcpStep::Send(std::string(1, c)));
        script.push_back(TTcpStep::Wait(3));
    }
    return script;
}

} // namespace

TEST_F(CtpClient, AnswersAndRepliesThatArriveInPieces) {
    // A reply is read until its line ends, however the camera splits it.
    EXPECT_EQ(ProbeWith(ByteByByte(ReplyOk)), CtpOk);
    EXPECT_EQ(ProbeWith(ByteByByte("REPLY Busy\r\n")), CtpRefused);
    TTcpScript continued = ByteByByte("REPLY Continue 1\r\nProgress: 50\r\n");
    const TTcpScript ok = ByteByByte(ReplyOk);
    continued.insert(continued.end(), ok.begin(), ok.end());
    EXPECT_EQ(ProbeWith(continued), CtpOk);
    // A reply without a line end counts once the camera goes quiet (the deadline) or closes.
    EXPECT_EQ(ProbeWith({TTcpStep::Send("REPLY"), TTcpStep::Wait(20), TTcpStep::Send(" OK"),
                         TTcpStep::Wait(3000)}),
              CtpOk);
    EXPECT_EQ(ProbeWith({TTcpStep::Send("REPLY O"), TTcpStep::Wait(20), TTcpStep::Send("K"),
                         TTcpStep::Close()}),
              CtpOk);

    // The answers of the configuration mode likewise: "200" split over several segments.
    TLoopbackTcpPeer camera;
    TTcpScript script{TTcpStep::Expect(LoginAdmin.size())};
    const TTcpScript answer = ByteByByte("200 OK\r\n");
    script.insert(script.end(), answer.begin(), answer.end());
    script.push_back(TTcpStep::Expect(Exit.size()));
    script.push_back(TTcpStep::Send("2"));
    script.push_back(TTcpStep::Wait(20));
    script.push_back(TTcpStep::Send("00 OK\r\n"));
    script.push_back(TTcpStep::ExpectClose());
    camera.AddConnection(script);
    auto client = Connect(camera);
    EXPECT_EQ(client->SendLogin("admin", ""), CtpOk);
    EXPECT_TRUE(client->LastRequestAnswered());
    EXPECT_EQ(client->SendExit(), CtpOk);

    // What one read leaves of a long answer (beyond its 199 bytes) is not taken as the
    // answer to the next request.
    TLoopbackTcpPeer talkative;
    talkative.AddConnection({TTcpStep::Expect(LoginAdmin.size()),
                             TTcpStep::Send("200 OK\r\n" + std::string(200, 'x') + "\r\n"),
                             TTcpStep::Expect(Exit.size()), TTcpStep::Send("200 OK\r\n"),
                             TTcpStep::ExpectClose()});
    client = Connect(talkative);
    EXPECT_EQ(client->SendLogin("admin", ""), CtpOk);
    EXPECT_EQ(client->SendExit(), CtpOk);
}

TEST_F(CtpClient, FileSectionFramesBlocksAndDigest) {
    const std::string data = Pattern(3000);
    std::istringstream package(FileSection("fw.img", data) + FileSection("a.bin", "12345"));
    const std::string start1 = "FILE 11\r\nfw.img 3000";
    const std::string start2 = "FILE 7\r\na.bin 5";
    TLoopbackTcpPeer peer;
    TTcpScript script;
    AnswerFrames(script, {start1.size(), 11 + 1400, 11 + 1400, 10 + 200, 8 + 16, start2.size(),
                          8 + 5, 8 + 16});
    peer.AddConnection(script);
    auto client = Connect(peer);
    EXPECT_EQ(client->SendSection(package), CtpOk);
    EXPECT_EQ(client->SendSection(package), CtpOk);
    client.reset();
    ASSERT_TRUE(peer.WaitUntilDone(5000));
    const auto record = peer.Connection(0);
    ASSERT_EQ(record.Expected.size(), 8u);
    EXPECT_EQ(record.Expected[0], start1);
    const std::string xored = Xored(data);
    EXPECT_EQ(record.Expected[1], "DATA 1400\r\n" + xored.substr(0, 1400));
    EXPECT_EQ(record.Expected[2], "DATA 1400\r\n" + xored.substr(1400, 1400));
    EXPECT_EQ(record.Expected[3], "DATA 200\r\n" + xored.substr(2800));
    const auto digest = [](const std::string& bytes) {
        TMd5 md5;
        md5.Update(bytes);
        const auto d = md5.Final();
        return std::string(d.begin(), d.end());
    };
    EXPECT_EQ(record.Expected[4], "MD5 16\r\n" + digest(xored));
    EXPECT_EQ(record.Expected[5], start2);
    EXPECT_EQ(record.Expected[6], "DATA 5\r\n" + Xored("12345"));
    EXPECT_EQ(record.Expected[7], "MD5 16\r\n" + digest(Xored("12345")));
}

TEST_F(CtpClient, CommandAndSkippedSectionsAndRefusals) {
    const std::string command = "upgrade --all\n";
    const std::string fits(2048 - 10, 'c'); // "CMD 2038" CR LF + 2038 bytes = 2048
    std::istringstream package(SectionHeader("NOTE", 5) + "hello" + CmdSection(command) +
                               CmdSection(fits) + CmdSection("x"));
    TLoopbackTcpPeer peer;
    peer.AddConnection({TTcpStep::Expect(8 + command.size()), TTcpStep::Send(ReplyOk),
                        TTcpStep::Expect(2048), TTcpStep::Send(ReplyOk),
                        TTcpStep::Expect(8), TTcpStep::Send("REPLY Bad command\r\n")});
    auto client = Connect(peer);
    EXPECT_EQ(client->SendSection(package), CtpOk); // passed over, nothing sent
    EXPECT_EQ(client->SendSection(package), CtpOk);
    EXPECT_EQ(client->SendSection(package), CtpOk);
    EXPECT_EQ(client->SendSection(package), CtpRefused);
    EXPECT_EQ(client->SendSection(package), CtpReceiveFailed); // no header left
    client.reset();
    ASSERT_TRUE(peer.WaitUntilDone(5000));
    const auto record = peer.Connection(0);
    ASSERT_GE(record.Expected.size(), 2u);
    EXPECT_EQ(record.Expected[0], "CMD 14\r\n" + Xored(command));
    EXPECT_EQ(record.Expected[1], "CMD 2038\r\n" + Xored(fits));
}

TEST_F(CtpClient, SectionsThatDoNotHoldWhatTheyAnnounceSendNothing) {
    TLoopbackTcpPeer peer;
    auto client = Connect(peer);
    const std::vector<std::string> broken = {
        CmdSection(std::string(2048 - 9, 'c')),                // one byte too many for the buffer
        SectionHeader("CMD ", 0x7FFFFFFF) + "abc",             // huge size, not allocated
        SectionHeader("CMD ", -3) + "abc",                     // negative size
        SectionHeader("CMD ", 10) + "short",                   // package ends early
        FileSection(std::string(256, 'n'), "data"),            // name longer than 255 bytes
        FileSection("a.bin", "12345").substr(0, 24 + 4 + 5 + 4 + 3), // data cut short
        SectionHeader("FILE", 0) + Le32(-1),                   // negative name length
        SectionHeader("FILE", 0) + Le32(5) + "a.bin" + Le32(-5), // negative data length
        SectionHeader("SKIP", 100) + "only a few bytes",       // skipped section cut short
        SectionHeader("SKIP", -1),
        std::string("FILE", 4) + std::string(10, '\0'),        // header itself cut short
    };
    for (std::size_t i = 0; i < broken.size(); ++i) {
        std::istringstream package(broken[i]);
        EXPECT_EQ(client->SendSection(package), CtpReceiveFailed) << "case " << i;
    }
    client.reset();
    ASSERT_TRUE(peer.WaitUntilDone(5000));
    EXPECT_EQ(peer.Connection(0).Received, "");
}

TEST_F(CtpClient, CameraClosingInTheMiddleOfAFileEndsTheSection) {
    std::istringstream package(FileSection("fw.img", Pattern(3000)));
    TLoopbackTcpPeer peer;
    peer.AddConnection({TTcpStep::Expect(20), TTcpStep::Send(ReplyOk), TTcpStep::Expect(1411),
                        TTcpStep::Close()});
    auto client = Connect(peer);
    EXPECT_EQ(client->SendSection(package), CtpClosed);

    std::istringstream again(FileSection("fw.img", Pattern(3000)));
    TLoopbackTcpPeer partial;
    partial.AddConnection({TTcpStep::Expect(20), TTcpStep::Send(ReplyOk), TTcpStep::Expect(300),
                           TTcpStep::Close()});
    client = Connect(partial);
    EXPECT_LT(client->SendSection(again), 0); // reset or closed: never a success
}

TEST_F(CtpClient, PackageChecks) {
    EXPECT_FALSE(TSocketThread::CheckPK2File(test::ScratchPath("missing")));
    EXPECT_FALSE(TSocketThread::CheckPK2File(WritePackage(Package(0, "").substr(0, 27))));
    EXPECT_FALSE(TSocketThread::CheckPK2File(WritePackage("PK2x" + Package(0, "").substr(4))));
    EXPECT_TRUE(TSocketThread::CheckPK2File(WritePackage(Package(0, ""))));
    EXPECT_TRUE(TSocketThread::CheckPK2File(WritePackage(Package(-1, "")))); // header only

    EXPECT_TRUE(TSocketThread::CheckPK2Layout(WritePackage(Package(0, ""))));
    EXPECT_TRUE(TSocketThread::CheckPK2Layout(WritePackage(
        Package(3, FileSection("a", Pattern(3000)) + CmdSection("ls") + SectionHeader("XYZW", 2) + "zz"))));
    EXPECT_FALSE(TSocketThread::CheckPK2Layout(WritePackage(Package(-1, ""))));
    EXPECT_FALSE(TSocketThread::CheckPK2Layout(WritePackage(Package(2, CmdSection("ls")))));
    EXPECT_FALSE(TSocketThread::CheckPK2Layout(WritePackage(Package(0x7FFFFFFF, CmdSection("ls")))));
    EXPECT_FALSE(TSocketThread::CheckPK2Layout(WritePackage(Package(1, SectionHeader("CMD ", 0x7FFFFFFF)))));
    EXPECT_FALSE(TSocketThread::CheckPK2Layout(
        WritePackage(Package(1, FileSection(std::string(256, 'n'), "x")))));
    EXPECT_FALSE(TSocketThread::CheckPK2Layout(
        WritePackage(Package(1, FileSection("a", "12345").substr(0, 30)))));
}

// --- the whole upload ----------------------------------------------------------------------

namespace {

struct TUploadResult {
    bool Ok = false;
    std::string Message;
};

TUploadResult Upload(const std::string& path, std::uint16_t port, const std::string& ip = "127.0.0.1") {
    TUploadResult r;
    r.Ok = UploadPackage(path, ip, port, "admin", "", r.Message);
    return r;
}

} // namespace

TEST_F(CtpClient, UploadRunsTheThreePhases) {
    const std::string path = WritePackage(Package(
        3, FileSection("a.bin", "12345") + SectionHeader("JUNK", 3) + "abc" + CmdSection("reboot")));
    TLoopbackTcpPeer camera;
    camera.AddConnection(ConfigurationMode());
    TTcpScript upgrade;
    AnswerFrames(upgrade, {Probe.size(), 15, 8 + 5, 8 + 16, 7 + 6});
    upgrade.push_back(TTcpStep::ExpectClose());
    camera.AddConnection(upgrade);
    camera.AddConnection({TTcpStep::ExpectClose()}); // back after the reboot
    const auto r = Upload(path, camera.Port());
    EXPECT_TRUE(r.Ok);
    EXPECT_EQ(r.Message, "");
    ASSERT_TRUE(camera.WaitUntilDone(5000, 3));
    EXPECT_EQ(camera.ConnectionCount(), 3u);
    EXPECT_EQ(camera.Connection(0).Received, LoginAdmin + Exit);
    const auto frames = camera.Connection(1);
    EXPECT_TRUE(frames.ScriptCompleted) << frames.Failure;
    EXPECT_EQ(frames.Received, Probe + "FILE 7\r\na.bin 5" + "DATA 5\r\n" + Xored("12345") +
                                   frames.Expected[3] + "CMD 6\r\n" + Xored("reboot"));
    EXPECT_EQ(camera.Connection(2).Received, "");
    // connect, mode switch, connect, mode switch, the reboot wait in one-second steps,
    // connect, settle
    std::vector<int> expected{1000, 5000, 1000, 5000};
    expected.insert(expected.end(), CtpRebootWaitMs / 1000, 1000);
    expected.insert(expected.end(), {1000, 5000});
    EXPECT_EQ(FSleeper.Waits(), expected);
}

TEST_F(CtpClient, UploadOfAPackageWithoutSectionsSendsOnlyTheProbe) {
    TLoopbackTcpPeer camera;
    camera.AddConnection(ConfigurationMode());
    camera.AddConnection({TTcpStep::Expect(Probe.size()), TTcpStep::Send(ReplyOk), TTcpStep::ExpectClose()});
    const auto r = Upload(WritePackage(Package(0, "")), camera.Port());
    EXPECT_TRUE(r.Ok) << r.Message;
    ASSERT_TRUE(camera.WaitUntilDone(5000, 3));
    EXPECT_EQ(camera.Connection(1).Received, Probe);
}

TEST_F(CtpClient, UploadFailuresEndWithTheirMessages) {
    const std::string good = WritePackage(Package(1, CmdSection("reboot")));
    {
        TLoopbackTcpPeer camera;
        EXPECT_EQ(Upload(test::ScratchPath("none"), camera.Port()).Message, GetStrRes("IDS_UPGRADEFILEFAIL"));
        EXPECT_EQ(Upload(WritePackage("PK2"), camera.Port()).Message, GetStrRes("IDS_UPGRADEFILEFAIL"));
        // Packages that cannot be sent as announced are refused before the camera is touched.
        for (const auto& bytes : {Package(-1, ""), Package(2, CmdSection("a")),
                                  Package(1, SectionHeader("CMD ", 0x40000000)),
                                  Package(1, FileSection(std::string(300, 'n'), "x"))}) {
            const auto r = Upload(WritePackage(bytes), camera.Port());
            EXPECT_FALSE(r.Ok);
            EXPECT_EQ(r.Message, GetStrRes("IDS_UPGRADEFILEERR"));
        }
        EXPECT_EQ(camera.ConnectionCount(), 0u);
    }
    EXPECT_EQ(Upload(good, test::UnusedLoopbackTcpPort()).Message, GetStrRes("IDS_IPCCONNETERR"));
    EXPECT_EQ(Upload(good, 81, "255.255.255.255").Message, GetStrRes("IDS_IPCCONNETERR"));

    const auto withCamera = [&](std::vector<TTcpScript> scripts) {
        TLoopbackTcpPeer camera;
        for (auto& s : scripts) {
            camera.AddConnection(s);
        }
        const auto r = Upload(good, camera.Port());
        EXPECT_FALSE(r.Ok);
        return r.Message;
    };
    EXPECT_EQ(withCamera({ConfigurationMode("401\r\n")}), GetStrRes("IDS_LOGINERROR"));
    EXPECT_EQ(withCamera({ConfigurationMode("200\r\n", "500 busy\r\n")}), GetStrRes("IDS_EXITIPCERR"));
    EXPECT_EQ(withCamera({ConfigurationMode(),
                          {TTcpStep::Expect(Probe.size()), TTcpStep::Send("REPLY Busy\r\n")}}),
              GetStrRes("IDS_ENTERUPGRADEERR"));
    EXPECT_EQ(withCamera({ConfigurationMode(),
                          {TTcpStep::Expect(Probe.size()), TTcpStep::Send(ReplyOk),
                           TTcpStep::Expect(13), TTcpStep::Send("REPLY Checksum error\r\n")}}),
              GetStrRes("IDS_UPGRADEFILEERR"));

    // The camera stops taking connections after the configuration mode.
    auto camera = std::make_unique<TLoopbackTcpPeer>();
    camera->AddConnection(ConfigurationMode());
    FSleeper.OnSleep = [&](int ms) {
        if (ms == CtpModeSwitchWaitMs) {
            camera.reset();
        }
    };
    auto r = Upload(good, camera->Port());
    EXPECT_EQ(r.Message, GetStrRes("IDS_ENTERUPGRADEERR"));

    // The package shrinks below its header while the camera leaves its configuration
    // mode: the upload stops there, before the upgrade mode, with false and no message.
    {
        const std::string shrinking = WritePackage(Package(1, CmdSection("reboot")));
        TLoopbackTcpPeer shrinkCamera;
        shrinkCamera.AddConnection(ConfigurationMode());
        FSleeper.OnSleep = [&](int ms) {
            if (ms == CtpConnectWaitMs) {
                EXPECT_TRUE(test::WriteWholeFile(shrinking, "PK2"));
            }
        };
        FSleeper.Clear();
        std::string message = "stale";
        EXPECT_FALSE(UploadPackage(shrinking, "127.0.0.1", shrinkCamera.Port(), "admin", "", message));
        EXPECT_EQ(message, "");
        EXPECT_EQ(FSleeper.Waits(), std::vector<int>{CtpConnectWaitMs}); // no mode-switch wait
        ASSERT_TRUE(shrinkCamera.WaitUntilDone(5000));
        EXPECT_EQ(shrinkCamera.ConnectionCount(), 1u);
        EXPECT_EQ(shrinkCamera.Connection(0).Received, LoginAdmin + Exit);
        FSleeper.OnSleep = nullptr;
    }

    // The camera never comes back from its reboot: eleven attempts, ten pauses.
    camera = std::make_unique<TLoopbackTcpPeer>();
    camera->AddConnection(ConfigurationMode());
    camera->AddConnection({TTcpStep::Expect(Probe.size()), TTcpStep::Send(ReplyOk),
                           TTcpStep::Expect(13), TTcpStep::Send(ReplyOk), TTcpStep::ExpectClose()});
    TRebootWaitStart rebootWaitStart;
    FSleeper.OnSleep = [&](int ms) {
        if (rebootWaitStart(ms)) {
            camera.reset();
        }
    };
    FSleeper.Clear();
    r = Upload(good, camera->Port());
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Message, "");
    const auto waits = FSleeper.Waits();
    EXPECT_EQ(std::count(waits.begin(), waits.end(), CtpRebootPollWaitMs), 10);
    EXPECT_EQ(waits.back(), CtpModeSwitchWaitMs);
}

TEST_F(CtpClient, UploadToCamerasWithHabitsOfTheirOwn) {
    const std::string path = WritePackage(
        Package(2, FileSection("fw.img", Pattern(3000)) + CmdSection("install fw.img")));
    const std::vector<std::string> wholeTransfer = {
        "CMD cfgusr CTP/1.0", "CMD exit CTP/1.0", "CMD 10",  "FILE 11",
        "DATA 1400",          "DATA 1400",        "DATA 200", "MD5 16", "CMD 14"};
    // Every answer and reply split into one-byte segments. The sections report how far
    // into the package they reach, up to its whole length; the camera's restart follows.
    {
        test::TLoopbackCtpCamera camera({.ByteByByte = true});
        struct TSink : IProgressSink {
            void Report(const TProgress& p) override { Reports.push_back(p); }
            std::vector<TProgress> Reports;
        } sink;
        TUploadResult r;
        {
            const TProgressScope scope(sink);
            r = Upload(path, camera.Port());
        }
        EXPECT_TRUE(r.Ok) << r.Message;
        ASSERT_TRUE(camera.WaitUntilIdle(5000));
        EXPECT_EQ(camera.Heard(), wholeTransfer);
        EXPECT_EQ(camera.LoginBody(), "-login admin:\r\n\r\n");
        std::vector<TProgress> uploads;
        for (const TProgress& p : sink.Reports) {
            if (p.Phase == EUpgradePhase::Upload) {
                uploads.push_back(p);
            }
        }
        std::string package;
        ASSERT_TRUE(platform::ReadFileBytes(path, package));
        ASSERT_EQ(uploads.size(), 3u); // before the sections, after each of the two
        for (const TProgress& p : uploads) {
            EXPECT_EQ(p.Total, package.size());
            EXPECT_LE(p.Done, p.Total);
        }
        EXPECT_LT(uploads[0].Done, uploads[1].Done);
        EXPECT_EQ(uploads.back().Done, package.size());
        ASSERT_FALSE(sink.Reports.empty());
        EXPECT_EQ(sink.Reports.back().Phase, EUpgradePhase::Poll);
    }
    // A progress note after the Continue line of the digest, in the same read.
    {
        test::TLoopbackCtpCamera camera({.ProgressAfterContinue = true});
        const auto r = Upload(path, camera.Port());
        EXPECT_TRUE(r.Ok) << r.Message;
        ASSERT_TRUE(camera.WaitUntilIdle(5000));
        EXPECT_EQ(camera.Heard(), wholeTransfer);
    }
    // Both at once.
    {
        test::TLoopbackCtpCamera camera({.ByteByByte = true, .ProgressAfterContinue = true});
        const auto r = Upload(path, camera.Port());
        EXPECT_TRUE(r.Ok) << r.Message;
    }
    // A camera that never answers the login cannot be reached; one that answers without
    // "200" refuses the login.
    {
        test::TLoopbackCtpCamera camera({.SilentLogin = true});
        const auto r = Upload(path, camera.Port());
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(r.Message, GetStrRes("IDS_NOIPCCONNECT"));
        EXPECT_EQ(camera.Heard(), std::vector<std::string>{"CMD cfgusr CTP/1.0"});
    }
    {
        test::TLoopbackCtpCamera camera({.LoginAnswer = "401 Unauthorized\r\n"});
        EXPECT_EQ(Upload(path, camera.Port()).Message, GetStrRes("IDS_LOGINERROR"));
    }
}

TEST_F(CtpClient, CredentialsTheLoginCannotCarryAreRefusedBeforeAnythingIsSent) {
    const std::string path = WritePackage(Package(1, CmdSection("reboot")));
    test::TLoopbackCtpCamera camera;
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"admin", "pw\r\n\r\nCMD exit CTP/1.0"}, {"admin", "p\nw"}, {"ad\rmin", ""},
        {"admin", std::string(2100, 'p')}};
    for (const auto& [account, password] : refused) {
        std::string message;
        EXPECT_FALSE(UploadPackage(path, "127.0.0.1", camera.Port(), account, password, message));
        EXPECT_EQ(message, GetStrRes("IDS_PASSWORDERROR"));
    }
    EXPECT_TRUE(FSleeper.Waits().empty()); // not even the connection wait
    EXPECT_EQ(camera.Connections(), 0u);
}

TEST_F(CtpClient, CameraBackOnlyOnTheEleventhAttemptCountsAsNotBack) {
    const std::string good = WritePackage(Package(0, ""));
    std::unique_ptr<TLoopbackTcpPeer> camera = std::make_unique<TLoopbackTcpPeer>();
    const std::uint16_t port = camera->Port();
    camera->AddConnection(ConfigurationMode());
    camera->AddConnection({TTcpStep::Expect(Probe.size()), TTcpStep::Send(ReplyOk), TTcpStep::ExpectClose()});
    int pauses = 0;
    TRebootWaitStart rebootWaitStart;
    FSleeper.OnSleep = [&](int ms) {
        if (rebootWaitStart(ms)) {
            camera.reset();
        } else if (ms == CtpRebootPollWaitMs && ++pauses == CtpRebootPollCount) {
            camera = std::make_unique<TLoopbackTcpPeer>("127.0.0.1", port);
        }
    };
    std::string message = "stale";
    EXPECT_FALSE(UploadPackage(good, "127.0.0.1", port, "admin", "", message));
    EXPECT_EQ(message, "");
    EXPECT_EQ(pauses, CtpRebootPollCount);
}

// --- the search --------------------------------------------------------------------------

TEST(CtpSearchReply, KeysValuesAndVersionWords) {
    const auto r = ParseCTPSearchReply(
        "REPLY * CTP/1.0\r\n-name my-ip camera\r\n-sn SN001\r-portctp abc\n-ip 127.0.0.21\r\n"
        "-netmask 255.0.0.0\r\n-gw -ip 10.0.0.1\r\n-mdns 1.1.1.1\r\n-sdns 8.8.8.8\r\n"
        "-dhcpen 0\r\n-mac 00:11:22:33:44:55\r\n-version V 1.2.3.4 build7\r\n");
    EXPECT_EQ(r.Name, "my-ip camera"); // "-name" comes before "-ip" in the key list
    EXPECT_EQ(r.Serial, "SN001");
    EXPECT_EQ(r.PortCtp, 81);
    EXPECT_EQ(r.IP, "-ip 10.0.0.1"); // the "-gw" line holds "-ip", which decides first
    EXPECT_EQ(r.Netmask, "255.0.0.0");
    EXPECT_EQ(r.Gateway, "");
    EXPECT_EQ(r.PrimaryDns, "1.1.1.1");
    EXPECT_EQ(r.SecondaryDns, "8.8.8.8");
    EXPECT_FALSE(r.DhcpOn);
    EXPECT_EQ(r.Version, "1.2.3.4 ");

    EXPECT_EQ(ParseCTPSearchReply("REPLY\n-version 1.2.3.4").Version, "");
    EXPECT_EQ(ParseCTPSearchReply("REPLY\n-version V 1.2.3.4").Version, "");
    EXPECT_EQ(ParseCTPSearchReply("REPLY\n-version V 1.2.3.4 ").Version, "1.2.3.4 ");
    EXPECT_TRUE(ParseCTPSearchReply("REPLY\n-dhcpen 1").DhcpOn);
    EXPECT_EQ(ParseCTPSearchReply("REPLY\n-portctp 8081\n-name " + std::string(80, 'n')).PortCtp, 8081);
    EXPECT_EQ(ParseCTPSearchReply("REPLY\n-name " + std::string(80, 'n')).Name.size(), 50u);
    EXPECT_EQ(ParseCTPSearchReply("REPLY\n-portctp 99999999999").PortCtp, 81);
}

TEST_F(CtpClient, SearchAndDeviceVersion) {
    test::TLoopbackUdpPeer cameras("127.0.0.1", 0);
    cameras.SetResponder([](const test::TDatagram&) {
        return std::vector<std::string>{
            "REPLY * CTP/1.0\r\n-ip 127.0.0.1\r\n-portctp 81\r\n-version V 2.0.1.7 x\r\n",
            "REPLY * CTP/1.0\r\n-ip 127.0.0.1\r\n-version V 9.9.9.9 x\r\n",
            "NOISE",
            "REPLY * CTP/1.0\r\n-ip 127.0.0.25\r\n-version V 3.0.0.1 x\r\n"};
    });
    SetCtpSearchPorts({0, cameras.Port()});
    TCTPDeviceList list;
    EXPECT_EQ(TSocketThread::SearchCTPDevices(list), 3);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].PortCtp, 81);
    EXPECT_EQ(list[2].IP, "127.0.0.25");
    const auto probe = cameras.WaitForDatagram(1000);
    ASSERT_TRUE(probe.has_value());
    EXPECT_EQ(probe->Data, "SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n");

    TLoopbackTcpPeer camera; // the version read first makes sure the camera can be reached
    EXPECT_EQ(GetDeviceVersion("127.0.0.1", camera.Port()), "2.0.1.7 "); // the first reply wins
    std::string version = "kept";
    EXPECT_TRUE(ReadDeviceVersion("127.0.0.1", camera.Port(), version));
    EXPECT_EQ(version, "2.0.1.7 ");
    TLoopbackTcpPeer unnamed("127.0.0.2"); // reachable, but no reply names it
    EXPECT_EQ(GetDeviceVersion("127.0.0.2", unnamed.Port()), "");

    const std::uint16_t closed = test::UnusedLoopbackTcpPort();
    EXPECT_EQ(GetDeviceVersion("127.0.0.1", closed), GetStrRes("IDS_IPCCONNETERR"));
    version = "kept";
    EXPECT_FALSE(ReadDeviceVersion("127.0.0.1", closed, version));
    EXPECT_EQ(version, "kept");
    SetCtpSearchPorts({});
}
