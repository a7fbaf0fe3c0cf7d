// HttpFetch and HttpDownloadToFile against the loopback HTTP server: answered error pages,
// the body limit, zero bytes, redirects, stalls, trickles, endless bodies, early closes,
// refusals, interim replies, links planted under the file's name.

#include "platform/Folders.h"
#include "platform/Http.h"
#include "platform/Socket.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <unistd.h>

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
    // A package download: fewer than 60 KiB over a 60000 ms window aborts it (500 ms here).
    static THttpDownloadLimits PackageLimits() {
        THttpDownloadLimits limits;
        limits.ConnectTimeoutMs = 20000;
        limits.RateWindowMs = 60000;
        limits.MinWindowBytes = 60 * 1024;
        return limits;
    }
    THttpDownloadResult Download(const std::string& target, const std::string& path,
                                 const THttpDownloadLimits& limits) {
        return HttpDownloadToFile(FServer.Url(target), path, DownloadAgent, limits);
    }
    bool Download(const std::string& target, const std::string& path, std::string& error) {
        const THttpDownloadResult r = Download(target, path, PackageLimits());
        error = r.ErrorText;
        return r.Ok;
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
    // Status line and part of the body, then silence: the reply never ends, so it is no
    // answer (a camera that holds its page half sent is not one that answered).
    FServer.Handle("/stall", THttpReply::Stall(std::string(10000, 's'), 100, 8000));
    auto t0 = std::chrono::steady_clock::now();
    const auto r = Fetch("/stall");
    EXPECT_LT(ElapsedMs(t0), 4000);
    EXPECT_FALSE(r.Answered);
    EXPECT_TRUE(r.TimedOut);
    EXPECT_TRUE(r.Body.empty());

    // Headers only, then silence.
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
    t0 = std::chrono::steady_clock::now();
    auto d = Download("/stall", path, PackageLimits());
    EXPECT_LT(ElapsedMs(t0), 4000);
    EXPECT_FALSE(d.Ok);
    EXPECT_EQ(d.Failure, EDownloadFailure::TooSlow) << d.ErrorText;
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(test::ReadWholeFile(path), "");

    t0 = std::chrono::steady_clock::now();
    d = Download("/silent", path, PackageLimits());
    EXPECT_LT(ElapsedMs(t0), 4000);
    EXPECT_FALSE(d.Ok);
    EXPECT_FALSE(d.ErrorText.empty());
}

// Deadlines divided by 300: a 20000 ms fetch ends after 66 ms, a 60000 ms window is 200 ms,
// so peers that trickle for ever cost a fraction of a second.
class HttpDeadlineTest : public ::testing::Test {
protected:
    test::TFakeSleeperScope FFake{300, 20};
    TLoopbackHttpServer FServer;
};

TEST_F(HttpDeadlineTest, TricklingPeersEndWithinTheirDeadlines) {
    // One byte every 5 ms keeps any idle time-out alive for ever; the overall deadline
    // ends the exchange, and what came is no answer.
    FServer.Handle("/drip", THttpReply::Trickle(5));
    auto t0 = std::chrono::steady_clock::now();
    const auto r = HttpFetch(FServer.Url("/drip"), {}, Agent, 20000, MaxBody);
    EXPECT_LT(ElapsedMs(t0), 4000);
    EXPECT_GE(ElapsedMs(t0), 60);
    EXPECT_FALSE(r.Answered);
    EXPECT_TRUE(r.TimedOut);
    EXPECT_TRUE(r.Body.empty());

    // A download with an overall deadline of its own.
    const std::string path = test::ScratchPath("dldrip");
    THttpDownloadLimits overall;
    overall.OverallTimeoutMs = 60000;
    t0 = std::chrono::steady_clock::now();
    auto d = HttpDownloadToFile(FServer.Url("/drip"), path, DownloadAgent, overall);
    EXPECT_LT(ElapsedMs(t0), 4000);
    EXPECT_FALSE(d.Ok);
    EXPECT_EQ(d.Failure, EDownloadFailure::TimedOut) << d.ErrorText;
    EXPECT_EQ(test::ReadWholeFile(path), "");

    // The rate rule: 100 bytes every 5 ms or slower is at most 4 KB a 200 ms window,
    // under its 60 KiB.
    THttpDownloadLimits rate;
    rate.RateWindowMs = 60000;
    rate.MinWindowBytes = 60 * 1024;
    THttpReply slow = THttpReply::Ok(std::string(200000, 'p'), "application/zip");
    slow.TrickleMs = 5;
    slow.TrickleBytes = 100;
    FServer.Handle("/slow.zip", slow);
    t0 = std::chrono::steady_clock::now();
    d = HttpDownloadToFile(FServer.Url("/slow.zip"), path, DownloadAgent, rate);
    EXPECT_LT(ElapsedMs(t0), 4000);
    EXPECT_GE(ElapsedMs(t0), 180) << "a whole window passes before the rule applies";
    EXPECT_EQ(d.Failure, EDownloadFailure::TooSlow) << d.ErrorText;
    EXPECT_EQ(test::ReadWholeFile(path), "");

    // Longer than a window but fast enough: 16000 bytes every 5 ms is over 60 KiB in any
    // 200 ms window even when the pieces come four times late.
    slow.Body = std::string(960000, 'f');
    slow.TrickleBytes = 16000;
    FServer.Handle("/steady.zip", slow);
    d = HttpDownloadToFile(FServer.Url("/steady.zip"), path, DownloadAgent, rate);
    EXPECT_TRUE(d.Ok) << d.ErrorText;
    EXPECT_EQ(test::ReadWholeFile(path).size(), 960000u);
}

TEST_F(HttpTest, DownloadSizeCap) {
    THttpDownloadLimits capped;
    capped.MaxBytes = 100000;
    const std::string path = test::ScratchPath("dlcap");

    // Without end and without a length: stopped at the cap, nothing kept.
    FServer.Handle("/endless", THttpReply::EndlessBody(std::string(4096, 'e')));
    auto d = Download("/endless", path, capped);
    EXPECT_FALSE(d.Ok);
    EXPECT_EQ(d.Failure, EDownloadFailure::TooLarge) << d.ErrorText;
    EXPECT_EQ(test::ReadWholeFile(path), "");

    // A declared length over the cap is refused before the body.
    FServer.Handle("/declared", THttpReply::Ok(std::string(100001, 'd')));
    d = Download("/declared", path, capped);
    EXPECT_EQ(d.Failure, EDownloadFailure::TooLarge) << d.ErrorText;
    EXPECT_EQ(test::ReadWholeFile(path), "");

    // Exactly the cap is fine; an error page is judged by its status, not its size.
    FServer.Handle("/exact", THttpReply::Ok(std::string(100000, 'x')));
    d = Download("/exact", path, capped);
    EXPECT_TRUE(d.Ok) << d.ErrorText;
    EXPECT_EQ(test::ReadWholeFile(path).size(), 100000u);
    FServer.Handle("/big404", THttpReply::WithStatus(404, "Not Found", std::string(200000, 'n')));
    d = Download("/big404", path, capped);
    EXPECT_EQ(d.Failure, EDownloadFailure::Status) << d.ErrorText;
    EXPECT_EQ(d.ErrorText, "HTTP/1.1 404 Not Found");
}

TEST_F(HttpTest, DownloadReplacesALinkAtItsNameAndNeverWritesThroughIt) {
    const std::string victim = test::ScratchPath("victim");
    const std::string path = test::ScratchPath("dllink");
    ASSERT_TRUE(test::WriteWholeFile(victim, "precious"));
    ASSERT_EQ(::symlink(victim.c_str(), path.c_str()), 0);
    FServer.Handle("/fw.zip", THttpReply::Ok("downloaded"));
    std::string error;
    ASSERT_TRUE(Download("/fw.zip", path, error)) << error;
    EXPECT_FALSE(IsSymbolicLink(path));
    EXPECT_EQ(test::ReadWholeFile(path), "downloaded");
    EXPECT_EQ(test::ReadWholeFile(victim), "precious");

    // A failure leaves an empty file in the link's place, the target untouched.
    ASSERT_TRUE(RemoveFile(path));
    ASSERT_EQ(::symlink(victim.c_str(), path.c_str()), 0);
    EXPECT_FALSE(Download("/missing", path, error));
    EXPECT_FALSE(IsSymbolicLink(path));
    EXPECT_EQ(test::ReadWholeFile(path), "");
    EXPECT_EQ(test::ReadWholeFile(victim), "precious");

    // No fresh file is left beside it either way.
    for (const auto& e : ListFolder(FolderOf(path))) {
        EXPECT_EQ(e.Name.find(".download"), std::string::npos) << e.Name;
    }
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
    const auto refused =
        HttpDownloadToFile(url + "/FM/firmware.txt", path, DownloadAgent, PackageLimits());
    EXPECT_FALSE(refused.Ok);
    EXPECT_EQ(refused.Failure, EDownloadFailure::Transfer);
    EXPECT_FALSE(refused.ErrorText.empty());
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(test::ReadWholeFile(path), "");

    // A file that cannot be created fails before any connection.
    const auto uncreatable =
        HttpDownloadToFile(FServer.Url("/x"), "/nonexistent-folder/x", DownloadAgent, PackageLimits());
    EXPECT_FALSE(uncreatable.Ok);
    EXPECT_EQ(uncreatable.Failure, EDownloadFailure::File);
    EXPECT_EQ(uncreatable.ErrorText, "No such file or directory");
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
