// The URL parser (libcurl's URL API): the parts as written, the path kept byte for byte,
// an empty query told from none, user information seen, and texts curl refuses.

#include "platform/Url.h"

#include <gtest/gtest.h>

namespace torvane::platform {
namespace {

TEST(Url, PartsAsWritten) {
    auto u = ParseUrl("HTTP://Cam.Local:8080/a/../b%41?user=a%26b&pwd=x#frag");
    ASSERT_TRUE(u.has_value());
    EXPECT_EQ(u->Scheme, "http");
    EXPECT_EQ(u->Host, "Cam.Local");
    EXPECT_EQ(u->Port, 8080);
    EXPECT_EQ(u->Path, "/a/../b%41") << "neither resolved nor decoded";
    EXPECT_EQ(u->Query, "user=a%26b&pwd=x");
    EXPECT_EQ(u->Fragment, "frag");
    EXPECT_FALSE(u->HasUserInfo);

    u = ParseUrl("http://10.0.0.5");
    ASSERT_TRUE(u.has_value());
    EXPECT_EQ(u->Host, "10.0.0.5");
    EXPECT_FALSE(u->Port.has_value());
    EXPECT_EQ(u->Path, "/");
    EXPECT_FALSE(u->Query.has_value());
    EXPECT_FALSE(u->Fragment.has_value());
    u = ParseUrl("http://cam?");
    ASSERT_TRUE(u.has_value());
    EXPECT_EQ(u->Query, "") << "an empty query is still there";

    u = ParseUrl("http://admin:pw@cam/x");
    ASSERT_TRUE(u.has_value());
    EXPECT_TRUE(u->HasUserInfo);
    EXPECT_EQ(u->Host, "cam");

    // Without a scheme only when asked: the T-series host of "127.0.0.9:8600".
    EXPECT_FALSE(ParseUrl("127.0.0.9:8600").has_value());
    u = ParseUrl("127.0.0.9:8600", true);
    ASSERT_TRUE(u.has_value());
    EXPECT_EQ(u->Host, "127.0.0.9");
    EXPECT_EQ(u->Port, 8600);

    for (const char* bad :
         {"", "http://cam:65536/", "http://cam:8a/", "http://cam\\x/", "http://ca m/"}) {
        EXPECT_FALSE(ParseUrl(bad).has_value()) << bad;
    }
    EXPECT_FALSE(ParseUrl(std::string_view("http://cam/\0x", 13)).has_value())
        << "a zero byte never reaches curl";
}

} // namespace
} // namespace torvane::platform
