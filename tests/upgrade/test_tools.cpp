#include "platform/Folders.h"
#include "platform/Host.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestHost.h"
#include "upgrade/Base64.h"
#include "upgrade/Tools.h"
#include "upgrade/uIUpgradeOpt.h"

#include <gtest/gtest.h>

using namespace torvane;
using torvane::test::THttpReply;
using torvane::test::TLoopbackHttpServer;

TEST(Base64, LinesAndPadding) {
    EXPECT_EQ(EncodeBase64(""), "");
    EXPECT_EQ(EncodeBase64("abc"), "YWJj");
    EXPECT_EQ(EncodeBase64("a"), "YQ==");
    EXPECT_EQ(EncodeBase64("ab"), "YWI=");
    const std::string b57 = EncodeBase64(std::string(57, 'x'));
    EXPECT_EQ(b57.size(), 76u);
    EXPECT_EQ(b57.find('\r'), std::string::npos);
    const std::string b58 = EncodeBase64(std::string(58, 'x'));
    ASSERT_EQ(b58.size(), 82u);
    EXPECT_EQ(b58.substr(76, 2), "\r\n");
    for (std::size_t n : {1u, 56u, 114u, 115u, 1000u}) {
        EXPECT_EQ(EncodeBase64(std::string(n, '\xff')).size(), 4 * ((n + 2) / 3) + 2 * ((n - 1) / 57));
    }
    EXPECT_EQ(EncodeBase64Line(std::string(58, 'x')).find('\r'), std::string::npos);
}

TEST(HttpGet, BodyRulesAndCredentials) {
    TLoopbackHttpServer server;
    std::string withZero = "before";
    withZero += '\0';
    withZero += "after";
    server.Handle("/zero", THttpReply::Ok(withZero));
    server.Handle("/big", THttpReply::Ok(std::string(700000, 'b')));
    server.Handle("/401", THttpReply::Unauthorized("401 Unauthorized page"));
    server.Handle("/404", THttpReply::WithStatus(404, "Not Found", "missing"));

    std::string body;
    ASSERT_TRUE(TTools::HttpGet(server.Url("/zero"), "", "", 2000, body));
    EXPECT_EQ(body, "before");
    ASSERT_TRUE(TTools::HttpGet(server.Url("/big"), "", "", 2000, body));
    EXPECT_EQ(body.size(), 512000u);
    ASSERT_TRUE(TTools::HttpGet(server.Url("/401"), "admin", "x", 2000, body));
    EXPECT_EQ(body, "401 Unauthorized page"); // the status is not examined
    ASSERT_TRUE(TTools::HttpGet(server.Url("/404"), "", "", 2000, body));
    EXPECT_EQ(body, "missing");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_FALSE(requests[0].HasHeader("Authorization"));
    EXPECT_EQ(requests[2].Header("Authorization"), "Basic " + EncodeBase64Line("admin:x"));
    EXPECT_EQ(requests[0].Header("User-Agent"), "MyIP");

    ASSERT_TRUE(TTools::HttpGet(server.Url("/404"), "", "secret", 2000, body));
    EXPECT_EQ(server.Requests().back().Header("Authorization"), "Basic " + EncodeBase64Line(":secret"));
    // A long account never breaks the header into lines.
    ASSERT_TRUE(TTools::HttpGet(server.Url("/404"), std::string(80, 'u'), "p", 2000, body));
    EXPECT_EQ(server.Requests().back().Header("Authorization"),
              "Basic " + EncodeBase64Line(std::string(80, 'u') + ":p"));

    std::uint16_t closedPort = 0;
    {
        TLoopbackHttpServer closed;
        closedPort = closed.Port();
    }
    body = "stale";
    EXPECT_FALSE(TTools::HttpGet("http://127.0.0.1:" + std::to_string(closedPort) + "/", "", "",
                                 2000, body));
    EXPECT_EQ(body, "");
}

TEST(HttpGet, UrlValuesKeepPrintableAsciiAndEncodeTheRest) {
    EXPECT_EQ(UrlValue("a&b=c?d"), "a&b=c?d");
    EXPECT_EQ(UrlValue("pass word"), "pass%20word");
    EXPECT_EQ(UrlValue("x\r\nHost: evil"), "x%0D%0AHost:%20evil");
    EXPECT_EQ(UrlValue("\xE5\xAF\x86"), "%E5%AF%86");
    EXPECT_EQ(UrlValue(std::string("a\0b", 3)), "a%00b");
    EXPECT_EQ(UrlValue("\x7F"), "%7F");
}

TEST(DownloadToFile, FailuresShowABoxAndLeaveAnEmptyFile) {
    TLoopbackHttpServer server;
    server.Handle("/fw.zip", THttpReply::Ok("package bytes"));
    server.Handle("/moved", THttpReply::Redirect("/fw.zip"));
    server.Handle("/gone", THttpReply::WithStatus(404, "Not Found", "no such file"));
    test::TTestHost host;
    platform::SetHost(&host);
    const std::string path = TTools::GetTempFolder() + "download.bin";
    std::string content;

    ASSERT_TRUE(TUpgradeOpt::DownloadToFile(server.Url("/moved"), path));
    ASSERT_TRUE(platform::ReadFileBytes(path, content));
    EXPECT_EQ(content, "package bytes");
    EXPECT_EQ(server.Requests().back().Header("User-Agent"), TUpgradeOpt::UserAgent);
    EXPECT_TRUE(host.Boxes().empty());

    EXPECT_FALSE(TUpgradeOpt::DownloadToFile(server.Url("/gone"), path));
    ASSERT_TRUE(platform::ReadFileBytes(path, content));
    EXPECT_EQ(content, "");
    ASSERT_EQ(host.Boxes().size(), 1u);
    EXPECT_EQ(host.Boxes()[0].Caption, "错误");
    EXPECT_EQ(host.Boxes()[0].Flags, platform::MB_ICONERROR);
    EXPECT_NE(host.Boxes()[0].Text.find("404"), std::string::npos);
    platform::SetHost(nullptr);
}
