// The JSON form of the camera list.

#include "discovery/DevInfoJson.h"

#include <gtest/gtest.h>

namespace torvane {
namespace {

TEST(DevInfoJson, EscapesEveryCameraText) {
    EXPECT_EQ(JsonString("plain"), "\"plain\"");
    EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsonString("t\tn\nr\r"), "\"t\\tn\\nr\\r\"");
    EXPECT_EQ(JsonString(std::string("\x01\x7F\0", 3)), "\"\\u0001\\u007F\\u0000\"");
    EXPECT_EQ(JsonString("Caf\xC3\xA9 \xE6\x97\xA5"), "\"Caf\xC3\xA9 \xE6\x97\xA5\""); // UTF-8 kept
    // Bytes outside UTF-8 (a GBK name, a cut sequence, an overlong form) by their value.
    EXPECT_EQ(JsonString("\xC4\xE3"), "\"\\u00C4\\u00E3\"");
    EXPECT_EQ(JsonString("x\xE6\x97"), "\"x\\u00E6\\u0097\"");
    EXPECT_EQ(JsonString("\xC0\xAF"), "\"\\u00C0\\u00AF\"");
    EXPECT_EQ(JsonString("\xED\xA0\x80"), "\"\\u00ED\\u00A0\\u0080\""); // a surrogate

    TDevInfo r;
    r.nType = 9;
    r.szName = "Door \"1\"";
    r.wPort = 81;
    r.nAux = -7;
    const std::string json = DevInfoToJson(r);
    EXPECT_EQ(json.substr(0, 32), "{\"nType\":9,\"szID\":\"\",\"szMac\":\"\",");
    EXPECT_NE(json.find("\"szName\":\"Door \\\"1\\\"\""), std::string::npos);
    EXPECT_NE(json.find("\"wPort\":81,"), std::string::npos);
    EXPECT_NE(json.find("\"nAux\":-7,"), std::string::npos);
    EXPECT_EQ(json.substr(json.size() - 25), "\"wAux2\":0,\"interface\":\"\"}");
    EXPECT_EQ(DevInfoListToJson({}), "[]\n");
    EXPECT_EQ(DevInfoListToJson({r, r}), "[\n" + json + ",\n" + json + "\n]\n");
    r.szInterface = "enp3s0"; // where the camera answered
    const std::string named = DevInfoToJson(r);
    EXPECT_EQ(named.substr(named.size() - 22), ",\"interface\":\"enp3s0\"}");
}

TEST(DevInfoJson, NeverPrintsPasswords) {
    // A T camera's search reply carries its login account and password; 1010 and CTP
    // replies carry DDNS credentials.
    TDevInfo r;
    r.nType = 9;
    r.szLoginUser = "admin";
    r.szLoginPwd = "Login-Secret-1";
    r.szDdnsUser = "ddns-user";
    r.szDdnsPwd = "Ddns-Secret-2";
    const std::string json = DevInfoListToJson({r});
    EXPECT_EQ(json.find("Secret"), std::string::npos) << json;
    EXPECT_EQ(json.find("Pwd"), std::string::npos) << json;
    EXPECT_NE(json.find("\"szLoginUser\":\"admin\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"szDdnsUser\":\"ddns-user\""), std::string::npos) << json;
}

} // namespace
} // namespace torvane
