#include "series/PostFirmware.h"

#include "support/LoopbackHttpServer.h"
#include "support/LoopbackTcpPeer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace torvane {
namespace {

using test::THttpReply;
using test::TLoopbackHttpServer;

// 15 March 2024, 14:02:07.081
TLocalTime FixedTime() {
    return TLocalTime{2024, 3, 15, 14, 2, 7, 81};
}
const TLocalClock FixedClock = [] { return FixedTime(); };
const std::string FixedBoundary = "--------031524140207081";

std::string MakeFile(const std::string& data) {
    const std::string path = test::ScratchPath("fw");
    EXPECT_TRUE(test::WriteWholeFile(path, data));
    return path;
}

std::string ExpectedBody(const std::string& path, const std::string& type,
                         const std::string& data) {
    return "----------031524140207081\r\n"
           "Content-Disposition: form-data; name=\"file\"; filename=\"" +
           path +
           "\"\r\n"
           "Content-Type: " +
           type +
           "\r\n"
           "Content-Transfer-Encoding: binary\r\n"
           "\r\n" +
           data + "\r\n----------031524140207081--\r\n";
}

TEST(PostFirmware, BoundaryFromLocalTime) {
    EXPECT_EQ(MakeBoundary(FixedTime()), FixedBoundary);
    EXPECT_EQ(MakeBoundary(TLocalTime{1999, 12, 31, 23, 59, 59, 999}), "--------123199235959999");
    EXPECT_EQ(MakeBoundary(CurrentLocalTime()).size(), 23u);
}

TEST(PostFirmware, RequestBytesOfEachVariant) {
    const std::string data("BNEG\x00\x01\r\n--tail", 14);
    const std::string path = MakeFile(data);

    TLoopbackHttpServer server;
    server.SetDefaultReply(THttpReply::Ok("done"));
    const std::string host = "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n";

    // F: no Accept-Encoding, no Authorization, the query as given ("&" and "=" untouched).
    const auto f =
        PostFirmware(server.Url("/upgrade_htmls.cgi?user=admin&pwd=a&b&next_url=reboot.htm"), path,
                     "application/octet-stream", TPostVariant::F,
                     TPostCredentials{"admin", "secret"}, FixedClock);
    EXPECT_TRUE(f.Completed) << f.ErrorText;
    // H: Accept list, Accept-Encoding and Basic credentials, in this order.
    const auto h = PostFirmware(server.Url("/cgi-bin/upgrade_firmware.cgi"), path,
                                "application/x-zip-compressed", TPostVariant::H,
                                TPostCredentials{"admin", "12345"}, FixedClock);
    EXPECT_TRUE(h.Completed) << h.ErrorText;
    // T: as H without the Authorization header.
    const auto t = PostFirmware(server.Url("/upgrade_firmware.cgi?loginuse=admin&loginpas=x"), path,
                                "application/x-zip-compressed", TPostVariant::T,
                                TPostCredentials{"admin", "12345"}, FixedClock);
    EXPECT_TRUE(t.Completed) << t.ErrorText;

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);

    const std::string fBody = ExpectedBody(path, "application/octet-stream", data);
    EXPECT_EQ(requests[0].Raw,
              "POST /upgrade_htmls.cgi?user=admin&pwd=a&b&next_url=reboot.htm HTTP/1.0\r\n"
              "Connection: keep-alive\r\n"
              "Content-Type: multipart/form-data; boundary=--------031524140207081\r\n"
              "Content-Length: " +
                  std::to_string(fBody.size()) + "\r\n" + host +
                  "Accept: text/html, */*\r\n"
                  "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
                  "\r\n" +
                  fBody);

    const std::string zipBody = ExpectedBody(path, "application/x-zip-compressed", data);
    const std::string browserAccept = "Accept: image/gif, image/jpeg, image/pjpeg, image/pjpeg, "
                                      "application/x-shockwave-flash, */*\r\n";
    EXPECT_EQ(requests[1].Raw,
              "POST /cgi-bin/upgrade_firmware.cgi HTTP/1.0\r\n"
              "Connection: keep-alive\r\n"
              "Content-Type: multipart/form-data; boundary=--------031524140207081\r\n"
              "Content-Length: " +
                  std::to_string(zipBody.size()) + "\r\n" + host + browserAccept +
                  "Accept-Encoding: gzip,deflate\r\n"
                  "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
                  "Authorization: Basic YWRtaW46MTIzNDU=\r\n"
                  "\r\n" +
                  zipBody);
    EXPECT_EQ(requests[2].Raw,
              "POST /upgrade_firmware.cgi?loginuse=admin&loginpas=x HTTP/1.0\r\n"
              "Connection: keep-alive\r\n"
              "Content-Type: multipart/form-data; boundary=--------031524140207081\r\n"
              "Content-Length: " +
                  std::to_string(zipBody.size()) + "\r\n" + host + browserAccept +
                  "Accept-Encoding: gzip,deflate\r\n"
                  "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
                  "\r\n" +
                  zipBody);
}

TEST(PostFirmware, UrlParsingAndPortInHost) {
    TParsedUrl u;
    std::string error;
    ASSERT_TRUE(ParseUploadUrl("http://10.1.2.3/a.cgi?x=1&y=a=b", u, error));
    EXPECT_EQ(u.Host, "10.1.2.3");
    EXPECT_EQ(u.Port, 80);
    EXPECT_EQ(u.Target, "/a.cgi?x=1&y=a=b");
    ASSERT_TRUE(ParseUploadUrl("HTTP://cam.local:8080", u, error));
    EXPECT_EQ(u.Port, 8080);
    EXPECT_EQ(u.Target, "/");
    ASSERT_TRUE(ParseUploadUrl("http://cam:81?pwd=a#b", u, error));
    EXPECT_EQ(u.Target, "/?pwd=a#b"); // "#" is part of a password here, not a fragment
    // The target goes out as typed: no path resolved, an empty query or fragment kept.
    ASSERT_TRUE(ParseUploadUrl("http://cam/a/../b.cgi?", u, error));
    EXPECT_EQ(u.Target, "/a/../b.cgi?");
    ASSERT_TRUE(ParseUploadUrl("http://cam/x#", u, error));
    EXPECT_EQ(u.Target, "/x#");
    ASSERT_TRUE(ParseUploadUrl("http://cam_1.local:00081/x", u, error));
    EXPECT_EQ(u.Host, "cam_1.local");
    EXPECT_EQ(u.Port, 81);
    // A numeric host is kept as typed for the Host header (connecting resolves it).
    ASSERT_TRUE(ParseUploadUrl("http://127.1:8600", u, error));
    EXPECT_EQ(u.Host, "127.1");
    EXPECT_EQ(u.Port, 8600);
    EXPECT_EQ(u.Target, "/");
    // What a lenient URL reader would take but no camera address looks like: one slash,
    // a host curl would decode, IPv6, a fragment in the host, a port of six digits.
    for (const char* odd : {"http:/cam/x", "http://cam%41/x", "http://[::1]/x", "http://:81/x",
                            "http://cam#frag/x", "http://cam:000081/x"}) {
        error.clear();
        EXPECT_FALSE(ParseUploadUrl(odd, u, error)) << odd;
        EXPECT_FALSE(error.empty()) << odd;
    }
    for (const char* bad :
         {"https://cam/x", "cam/x", "http:///x", "http://cam:/x", "http://cam:0/x",
          "http://cam:65536/x", "http://cam:8a/x", "http://ca m/x", "http://cam/x y",
          "http://cam/x\r\nEvil: 1", "http://user@cam/x"}) {
        error.clear();
        EXPECT_FALSE(ParseUploadUrl(bad, u, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }

    // An unusable address is a failure with a reason, not a connection attempt.
    const std::string path = MakeFile("BNEGdata");
    const auto r =
        PostFirmware("ftp://127.0.0.1/x", path, "application/octet-stream", TPostVariant::F);
    EXPECT_FALSE(r.Completed);
    EXPECT_NE(r.ErrorText.find("ftp://127.0.0.1/x"), std::string::npos);

    // Port 80 named or implied: the Host header carries no port.
    std::unique_ptr<test::TLoopbackTcpPeer> peer;
    try {
        peer = std::make_unique<test::TLoopbackTcpPeer>("127.0.10.200", 80);
    } catch (const std::exception&) {
        GTEST_SKIP() << "port 80 cannot be taken on this machine";
    }
    for (const char* url :
         {"http://127.0.10.200/cgi-bin/x.cgi", "http://127.0.10.200:80/cgi-bin/x.cgi"}) {
        peer->AddConnection({test::TTcpStep::ExpectUntil(FixedBoundary + "--\r\n"),
                             test::TTcpStep::Send("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok"),
                             test::TTcpStep::Close()});
        const auto ok = PostFirmware(url, path, "application/x-zip-compressed", TPostVariant::H, {},
                                     FixedClock);
        EXPECT_TRUE(ok.Completed) << ok.ErrorText;
    }
    ASSERT_TRUE(peer->WaitUntilDone(5000, 2));
    for (const auto& c : peer->Connections()) {
        EXPECT_NE(c.Received.find("\r\nHost: 127.0.10.200\r\n"), std::string::npos) << c.Received;
        EXPECT_NE(c.Received.find("\r\nAuthorization: Basic Og==\r\n"), std::string::npos);
    }
}

TEST(PostFirmware, ReplyStatusDecides) {
    const std::string path = MakeFile("BNEG0123456789");
    TLoopbackHttpServer server;
    THttpReply continued = THttpReply::Ok("<html>error page</html>");
    continued.Interim100 = true;
    server.Handle("/continue", continued);
    server.Handle("/error", THttpReply::WithStatus(500, "Internal Server Error", "oops"));
    server.Handle("/auth", THttpReply::Unauthorized("<html>401</html>"));
    server.Handle("/moved", THttpReply::Redirect("http://127.0.0.1/elsewhere"));
    THttpReply empty = THttpReply::WithStatus(204, "No Content");
    empty.AddContentLength = false;
    server.Handle("/empty", empty);
    THttpReply untilClose = THttpReply::Ok("body without a length");
    untilClose.AddContentLength = false;
    untilClose.Version = "HTTP/1.0";
    server.Handle("/close", untilClose);
    THttpReply chunked;
    chunked.Headers = {{"Transfer-Encoding", "chunked"}};
    chunked.AddContentLength = false;
    chunked.Body = "5\r\nhello\r\n0\r\n\r\n";
    chunked.HoldMs = 5000; // kept open: the end of the chunks must end the read
    server.Handle("/chunked", chunked);

    auto post = [&](const std::string& target) {
        return PostFirmware(server.Url(target), path, "application/x-zip-compressed",
                            TPostVariant::H, TPostCredentials{"admin", ""});
    };
    const auto c = post("/continue");
    EXPECT_TRUE(c.Completed) << c.ErrorText; // 100 skipped; a 200 body is not examined
    const auto e = post("/error");
    EXPECT_FALSE(e.Completed);
    EXPECT_EQ(e.ErrorText, "HTTP/1.1 500 Internal Server Error");
    const auto a = post("/auth");
    EXPECT_FALSE(a.Completed);
    EXPECT_EQ(a.ErrorText, "HTTP/1.1 401 Unauthorized");
    const auto m = post("/moved");
    EXPECT_FALSE(m.Completed);
    EXPECT_EQ(m.ErrorText, "HTTP/1.1 302 Found");
    EXPECT_TRUE(post("/empty").Completed);
    EXPECT_TRUE(post("/close").Completed);
    EXPECT_TRUE(post("/chunked").Completed);
    // The 401 is not answered with a second request.
    EXPECT_EQ(server.RequestCount(), 7u);
}

TEST(PostFirmware, NetworkFailuresAreReportedNotHung) {
    test::TFakeSleeperScope fake(600, 50); // 60000 ms deadlines become 100 ms
    const std::string path = MakeFile("BNEG0123456789");
    auto post = [&](const std::string& url) {
        return PostFirmware(url, path, "application/octet-stream", TPostVariant::F);
    };

    const auto refused =
        post("http://127.0.0.1:" + std::to_string(test::UnusedLoopbackTcpPort()) + "/x");
    EXPECT_FALSE(refused.Completed);
    EXPECT_EQ(refused.ErrorText, "Connection refused");

    TLoopbackHttpServer server;
    server.Handle("/silent", THttpReply::NeverAnswer(10000));
    server.Handle("/stall", THttpReply::Stall("0123456789", 3, 10000));
    server.Handle("/cut", THttpReply::CloseEarly("0123456789", 3));
    THttpReply headerOnly;
    headerOnly.Raw = "HTTP/1.0 200 OK\r\nContent-";
    server.Handle("/header", headerOnly);
    THttpReply garbage;
    garbage.Raw = "SSH-2.0-OpenSSH\r\n\r\n";
    server.Handle("/garbage", garbage);

    for (const char* target : {"/silent", "/stall", "/cut", "/header", "/garbage"}) {
        const auto r = post(server.Url(target));
        EXPECT_FALSE(r.Completed) << target;
        EXPECT_FALSE(r.ErrorText.empty()) << target;
    }
    EXPECT_EQ(post(server.Url("/silent")).ErrorText, "Connection timed out");
}

TEST(PostFirmware, ReplyThatTricklesInEndsAtItsDeadline) {
    // 60000 ms become 300 ms; the camera sends a byte of its reply every 20 ms, so the
    // idle time-out never fires and only the deadline of the whole reply ends the wait.
    test::TFakeSleeperScope fake(200, 50);
    const std::string path = MakeFile("BNEG0123456789");
    TLoopbackHttpServer server;
    server.Handle("/trickle", THttpReply::Drip(20, 60000));
    THttpReply body = THttpReply::Drip(20, 60000);
    body.Raw = "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n";
    server.Handle("/body", body);
    THttpReply endless = THttpReply::Drip(20, 60000);
    endless.Raw = "HTTP/1.0 200 OK\r\n\r\n"; // no length: the body runs until the close
    server.Handle("/endless", endless);
    THttpReply interim = THttpReply::Drip(20, 60000);
    interim.Raw = "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 100 Continue\r\nX: ";
    server.Handle("/interim", interim);

    std::size_t cut = 0;
    const auto post = [&](const char* target, TPostVariant variant) {
        const auto r =
            PostFirmware(server.Url(target), path, "application/octet-stream", variant);
        EXPECT_FALSE(r.Completed) << target;
        EXPECT_EQ(r.ErrorText, "Connection timed out") << target;
        // The camera was still sending when the upload gave up on it.
        EXPECT_TRUE(server.WaitForTricklesCutShort(++cut, 5000)) << target;
    };
    for (const char* target : {"/trickle", "/body", "/endless", "/interim"}) {
        post(target, TPostVariant::F);
    }
    post("/trickle", TPostVariant::H);
    post("/trickle", TPostVariant::T);
    // A reply that trickles in but is whole before the deadline still counts.
    THttpReply slowButWhole;
    slowButWhole.Raw = "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok";
    slowButWhole.DelayMs = 100;
    server.Handle("/slow", slowButWhole);
    EXPECT_TRUE(PostFirmware(server.Url("/slow"), path, "application/octet-stream",
                             TPostVariant::F)
                    .Completed);
}

TEST(PostFirmware, FileIsStreamedWholeOrNotOpened) {
    std::string data(1024 * 1024 + 7, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
    }
    const std::string path = MakeFile(data);
    TLoopbackHttpServer server;
    server.SetDefaultReply(THttpReply::Ok("ok"));
    const auto r = PostFirmware(server.Url("/upgrade_firmware.cgi"), path,
                                "application/octet-stream", TPostVariant::F, {}, FixedClock);
    EXPECT_TRUE(r.Completed) << r.ErrorText;
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].Complete);
    EXPECT_TRUE(requests[0].Body == ExpectedBody(path, "application/octet-stream", data));
    EXPECT_EQ(requests[0].Header("Content-Length"), std::to_string(requests[0].Body.size()));

    // A file that cannot be opened raises before the camera is contacted.
    const std::string missing = test::ScratchPath("missing");
    EXPECT_THROW(
        (void)PostFirmware(server.Url("/x"), missing, "application/octet-stream", TPostVariant::T),
        TFirmwareFileError);
    std::string head;
    EXPECT_THROW((void)ReadFirmwareSignature(missing, head), TFirmwareFileError);
    EXPECT_EQ(server.ConnectionCount(), 1u);
    // A name that would break the part's header is refused, nothing sent.
    const auto quoted =
        PostFirmware(server.Url("/x"), path + "\"x", "application/octet-stream", TPostVariant::F);
    EXPECT_FALSE(quoted.Completed);
    EXPECT_EQ(server.ConnectionCount(), 1u);
}

} // namespace
} // namespace torvane
