// HttpFetch and HttpDownloadToFile against the loopback HTTP server: answered error pages,
// the body limit, zero bytes, redirects, stalls, early closes, refusals, interim replies.

#include "platform/Folders.h"
#include "platform/Http.h"
#include "platform/Socket.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>

namespace torvane::platform {
namespace {

using test::THttpReply;
using test::TLoopbackHttpServer;

constexpr std::size_t MaxBody = 512000;
constexpr const char* Agent = "MyIP";
constexpr const char* DownloadAgent = "Mozilla/4.0(compatible; MSIE 6.0; Windows 98; Maxthon)";

long long ElapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
}

class HttpTest : public ::testing::Test {
protected:
    // 20000 ms deadlines become 500 ms.
    test::TFakeSleeperScope FFake{40, 50};
    TLoopbackHttpServer FServer;

    THttpFetchResult Fetch(const std::string& target, std::vector<std::string> headers = {}) {
        return HttpFetch(FServer.Url(target), headers, Agent, 20000, MaxBody);
    }
    bool Download(const std::string& target, const std::string& path, std::string& error) {
        return HttpDownloadToFile(FServer.Url(target), path, DownloadAgent, 20000, 20000, error);
    }
};

TEST_F(HttpTest, FetchReturnsErrorPagesAsAnsweredWithNoCacheHeaders) {
    FServer.Handle("/oem.txt", THttpReply::Unauthorized("<html>401 Unauthorized</html>"));
    const auto r = Fetch("/oem.txt", {"Authorization: Basic YWRtaW46"});
    EXPECT_TRUE(r.Answered) << r.Error;
    EXPECT_EQ(r.Status, 401);
    EXPECT_EQ(r.StatusLine, "HTTP/1.1 401 Unauthorized");
    EXPECT_EQ(r.Body, "<html>401 Unauthorized</html>");

    ASSERT_EQ(FServer.RequestCount(), 1u) << "a challenge is not answered";
    const auto req = FServer.Requests().at(0);
    EXPECT_EQ(req.Method, "GET");
    EXPECT_EQ(req.Target, "/oem.txt");
    EXPECT_EQ(req.Header("Cache-Control"), "no-cache");
    EXPECT_EQ(req.Header("Pragma"), "no-cache");
    EXPECT_EQ(req.Header("User-Agent"), Agent);
    EXPECT_EQ(req.Header("Authorization"), "Basic YWRtaW46");
    EXPECT_EQ(req.Raw.substr(0, 24), "GET /oem.txt HTTP/1.1\r\nH");

    FServer.Handle("/get_status.cgi?x=1", THttpReply::Ok("var app_ver='3.2.5.7';"));
    const auto q = Fetch("/get_status.cgi?x=1");
    EXPECT_TRUE(q.Answered);
    EXPECT_EQ(q.Status, 200);
    EXPECT_EQ(q.Body, "var app_ver='3.2.5.7';");
}

TEST_F(HttpTest, FetchCutsTheBodyAtTheLimitAndKeepsZeroBytes) {
    std::string big(600000, 'x');
    big[511999] = 'L';
    big[512000] = 'N';
    FServer.Handle("/big", THttpReply::Ok(big));
    const auto r = Fetch("/big");
    EXPECT_TRUE(r.Answered) << r.Error;
    ASSERT_EQ(r.Body.size(), MaxBody);
    EXPECT_EQ(r.Body.back(), 'L');

    const std::string withZero("abc\0def", 7);
    FServer.Handle("/zero", THttpReply::Ok(withZero));
    const auto z = Fetch("/zero");
    EXPECT_TRUE(z.Answered);
    EXPECT_EQ(z.Body, withZero) << "the cut at the zero byte is the caller's";

    // Exactly the limit, and an empty body.
    FServer.Handle("/exact", THttpReply::Ok(std::string(MaxBody, 'e')));
    EXPECT_EQ(Fetch("/exact").Body.size(), MaxBody);
    FServer.Handle("/empty", THttpReply::Ok(""));
    const auto e = Fetch("/empty");
    EXPECT_TRUE(e.Answered);
    EXPECT_TRUE(e.Body.empty());
}

TEST_F(HttpTest, NotFoundIsAnsweredForFetchButFailsTheDownload) {
    const auto r = Fetch("/missing.txt");
    EXPECT_TRUE(r.Answered);
    EXPECT_EQ(r.Status, 404);
    EXPECT_EQ(r.StatusLine, "HTTP/1.1 404 Not Found");
    EXPECT_NE(r.Body.find("Not Found"), std::string::npos);

    const std::string path = test::ScratchPath("dl404");
    ASSERT_TRUE(test::WriteWholeFile(path, "old content"));
    std::string error;
    EXPECT_FALSE(Download("/missing.zip", path, error));
    EXPECT_EQ(error, "HTTP/1.1 404 Not Found");
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(test::ReadWholeFile(path), "") << "the error page never goes into the file";

    FServer.Handle("/fail", THttpReply::WithStatus(500, "Internal Server Error"));
    EXPECT_FALSE(Download("/fail", path, error));
    EXPECT_EQ(error, "HTTP/1.1 500 Internal Server Error");
}

TEST_F(HttpTest, RedirectsAreFollowedByDownloadOnly) {
    FServer.Handle("/old", THttpReply::Redirect("/FM/new.zip"));
    FServer.Handle("/FM/new.zip", THttpReply::Ok("PK-payload", "application/zip"));

    const auto r = Fetch("/old");
    EXPECT_TRUE(r.Answered);
    EXPECT_EQ(r.Status, 302);
    EXPECT_EQ(FServer.RequestCount(), 1u);

    FServer.ClearRequests();
    const std::string path = test::ScratchPath("dlredir");
    std::string error;
    ASSERT_TRUE(Download("/old", path, error)) << error;
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(test::ReadWholeFile(path), "PK-payload");
    const auto reqs = FServer.Requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].Target, "/old");
    EXPECT_EQ(reqs[1].Target, "/FM/new.zip");
    EXPECT_EQ(reqs[0].Header("User-Agent"), DownloadAgent);
    EXPECT_EQ(reqs[1].Header("User-Agent"), DownloadAgent);

    // A redirect to a missing file: the final status line is the error.
    FServer.Handle("/gone", THttpReply::Redirect("/nothing"));
    EXPECT_FALSE(Download("/gone", path, error));
    EXPECT_EQ(error, "HTTP/1.1 404 Not Found");
    EXPECT_EQ(test::ReadWholeFile(path), "");
}

TEST_F(HttpTest, DownloadWritesLargeBodiesWhole) {
    std::string big(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>((i * 131) >> 3);
    }
    FServer.Handle("/FM/system/fw.zip", THttpReply::Ok(big, "application/zip"));
    const std::string path = test::ScratchPath("dlbig");
    ASSERT_TRUE(test::WriteWholeFile(path, std::string(5000000, 'o')));
    std::string error;
    ASSERT_TRUE(Download("/FM/system/fw.zip", path, error)) << error;
    EXPECT_TRUE(test::ReadWholeFile(path) == big) << "replaced, not overwritten in place";
}

TEST_F(HttpTest, StalledServersAreAbandonedWithinTheShortenedDeadline) {
    // Status line and part of the body, then silence: answered with what came.
    FServer.Handle("/stall", THttpReply::Stall(std::string(10000, 's'), 100, 8000));
    auto t0 = std::chrono::steady_clock::now();
    const auto r = Fetch("/stall");
    EXPECT_LT(ElapsedMs(t0), 4000);
    EXPECT_TRUE(r.Answered) << r.Error;
    EXPECT_EQ(r.Status, 200);
    EXPECT_EQ(r.Body, std::string(100, 's'));

    // Headers only, then silence: the body never began, so no answer.
    FServer.Handle("/headers-only", THttpReply::Stall("body", 0, 8000));
    t0 = std::chrono::steady_clock::now();
    const auto h = Fetch("/headers-only");
    EXPECT_LT(ElapsedMs(t0), 4000);
    EXPECT_FALSE(h.Answered);
    EXPECT_FALSE(h.Error.empty());
    EXPECT_TRUE(h.Body.empty());

    // Accepted and read, nothing ever sent.
    FServer.Handle("/silent", THttpReply::NeverAnswer(8000));
    t0 = std::chrono::steady_clock::now();
    const auto s = Fetch("/silent");
    EXPECT_LT(ElapsedMs(t0), 4000);
    EXPECT_GE(ElapsedMs(t0), 400) << "the deadline is TimeoutMs(20000) = 500 ms";
    EXPECT_FALSE(s.Answered);
    EXPECT_NE(s.Error.find("500 ms"), std::string::npos) << s.Error;

    const std::string path = test::ScratchPath("dlstall");
    std::string error;
    t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(Download("/stall", path, error));
    EXPECT_LT(ElapsedMs(t0), 4000);
    EXPECT_NE(error.find("stalled"), std::string::npos) << error;
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(test::ReadWholeFile(path), "");

    t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(Download("/silent", path, error));
    EXPECT_LT(ElapsedMs(t0), 4000);
    EXPECT_FALSE(error.empty());
}

TEST_F(HttpTest, EarlyCloseIsAnAnswerForFetchAndAFailureForDownload) {
    FServer.Handle("/short", THttpReply::CloseEarly(std::string(1000, 'c'), 300));
    const auto r = Fetch("/short");
    EXPECT_TRUE(r.Answered) << r.Error;
    EXPECT_EQ(r.Body, std::string(300, 'c'));

    const std::string path = test::ScratchPath("dlshort");
    std::string error;
    EXPECT_FALSE(Download("/short", path, error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(test::ReadWholeFile(path), "") << "the partial body is not kept";
}

TEST_F(HttpTest, RefusedConnectionsFail) {
    const std::string url = "http://127.0.0.1:" + std::to_string(test::UnusedLoopbackTcpPort());
    const auto r = HttpFetch(url + "/oem.txt", {}, Agent, 20000, MaxBody);
    EXPECT_FALSE(r.Answered);
    EXPECT_FALSE(r.Error.empty());
    EXPECT_TRUE(r.Body.empty());

    const std::string path = test::ScratchPath("dlrefused");
    ASSERT_TRUE(test::WriteWholeFile(path, "stale"));
    std::string error;
    EXPECT_FALSE(
        HttpDownloadToFile(url + "/FM/firmware.txt", path, DownloadAgent, 20000, 20000, error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(test::ReadWholeFile(path), "");

    // A file that cannot be created fails before any connection.
    EXPECT_FALSE(HttpDownloadToFile(FServer.Url("/x"), "/nonexistent-folder/x", DownloadAgent,
                                    20000, 20000, error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_EQ(FServer.RequestCount(), 0u);
}

TEST_F(HttpTest, InterimContinueIsSkipped) {
    THttpReply reply = THttpReply::Ok("final body");
    reply.Interim100 = true;
    FServer.Handle("/continue", reply);
    const auto r = Fetch("/continue");
    EXPECT_TRUE(r.Answered) << r.Error;
    EXPECT_EQ(r.Status, 200);
    EXPECT_EQ(r.StatusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(r.Body, "final body");

    const std::string path = test::ScratchPath("dlcontinue");
    std::string error;
    ASSERT_TRUE(Download("/continue", path, error)) << error;
    EXPECT_EQ(test::ReadWholeFile(path), "final body");
}

TEST(LoopbackHttpServer, RecordsARawUploadAndAnswersWithInterimContinue) {
    TLoopbackHttpServer server;
    THttpReply reply = THttpReply::WithStatus(500, "Internal Server Error", "no");
    reply.Interim100 = true;
    server.Handle("/upgrade_firmware.cgi", reply);

    const std::string body("--b\r\n\0\x01firmware\r\n--b--\r\n", 27);
    const std::string request = "POST /upgrade_firmware.cgi?user=admin&pwd=a b HTTP/1.0\r\n"
                                "Connection: keep-alive\r\n"
                                "Content-Type: multipart/form-data; boundary=b\r\n"
                                "Content-Length: " +
                                std::to_string(body.size()) +
                                "\r\n"
                                "Host: 127.0.0.1\r\n\r\n" +
                                body;
    TTcpStream s;
    const TSocketStatus connected = s.Connect(server.Host(), server.Port(), 2000);
    ASSERT_TRUE(connected) << connected.ErrorText();
    const TSocketResult sent = s.SendAll(request, 2000);
    ASSERT_TRUE(sent.Ok()) << sent.ErrorText();
    std::string answer;
    char buf[512];
    for (TSocketResult n; (n = s.ReadSome(buf, sizeof(buf), 2000)).Ok() && n.Count > 0;) {
        answer.append(buf, n.Count);
    }
    EXPECT_EQ(
        answer.rfind("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 500 Internal Server Error\r\n", 0), 0u)
        << answer;
    EXPECT_EQ(answer.substr(answer.size() - 6), "\r\n\r\nno");

    ASSERT_TRUE(server.WaitForRequests(1, 2000));
    const auto req = server.Requests().at(0);
    EXPECT_TRUE(req.Complete);
    EXPECT_EQ(req.Raw, request);
    EXPECT_EQ(req.RequestLine, "POST /upgrade_firmware.cgi?user=admin&pwd=a b HTTP/1.0");
    EXPECT_EQ(req.Path, "/upgrade_firmware.cgi");
    EXPECT_EQ(req.Query, "user=admin&pwd=a b");
    EXPECT_EQ(req.Version, "HTTP/1.0");
    EXPECT_EQ(req.HeaderNames(),
              (std::vector<std::string>{"Connection", "Content-Type", "Content-Length", "Host"}));
    EXPECT_EQ(req.Body, body);
}

} // namespace
} // namespace torvane::platform
