// The option parser and the value checks of torvane-cli: what a command line means and
// which values are refused before anything runs.

#include "cli/Checks.h"
#include "cli/Options.h"

#include <gtest/gtest.h>

namespace torvane::cli {
namespace {

const std::vector<TOptionSpec>& Table() {
    static const std::vector<TOptionSpec> table = {
        {.Long = "series", .Value = "S", .Required = true, .Check = CheckOneOf({"E", "F"}, true)},
        {.Long = "port", .Value = "N", .Check = CheckWholeNumber(1, 65535)},
        {.Long = "password", .Value = "P"},
        {.Long = "yes"},
        {.Long = "quiet", .Short = 'q'},
        {.Long = "verbose", .Short = 'v'},
        {.Long = "out", .Short = 'o', .Value = "FILE"},
        {.Long = "oem", .Value = "NAME", .Check = CheckCatalogFolder(), .Repeatable = true},
        {.Long = "help", .Short = 'h'},
    };
    return table;
}

TParsedArgs Parse(const std::vector<std::string>& args) {
    return ParseOptions(Table(), args);
}

std::string KeyOf(const std::optional<TMessage>& m) {
    return m ? m->Key : std::string("(none)");
}

TEST(OptionParser, ReadsEveryFormOfOptionsAndOperands) {
    TParsedArgs a = Parse({"--series", "F", "--port=81", "-qv", "KEY", "--password", "-",
                           "-ofile", "--", "--yes", "-"});
    EXPECT_FALSE(a.Error);
    EXPECT_EQ(a.Get("series", ""), "F");
    EXPECT_EQ(a.Get("port", ""), "81");
    EXPECT_EQ(a.Get("password", ""), "-") << "a value may look like an option";
    EXPECT_EQ(a.Get("out", ""), "file");
    EXPECT_TRUE(a.Has("quiet") && a.Has("verbose"));
    EXPECT_FALSE(a.Has("yes")) << "after -- everything is an operand";
    EXPECT_EQ(a.Operands, (std::vector<std::string>{"KEY", "--yes", "-"}));

    a = Parse({"--port", "1", "--port", "2", "-o", "x", "--password="});
    EXPECT_EQ(a.Get("port", ""), "2") << "the last value wins";
    EXPECT_EQ(a.Get("out", ""), "x");
    EXPECT_TRUE(a.Has("password"));
    EXPECT_EQ(a.Get("password", "unset"), "") << "an empty value is a value";
}

TEST(OptionParser, KeepsTheFirstErrorAndStillSeesHelp) {
    TParsedArgs a = Parse({"--bogus", "--yes=1", "-x", "--help"});
    ASSERT_TRUE(a.Error);
    EXPECT_EQ(a.Error->Key, "IDS_CLI_UNKNOWNOPTION");
    EXPECT_EQ(a.Error->Args, std::vector<std::string>{"--bogus"});
    EXPECT_TRUE(a.Help) << "--help after an error still asks for help";

    EXPECT_EQ(KeyOf(Parse({"--yes=1"}).Error), "IDS_CLI_TAKESNOVALUE");
    EXPECT_EQ(KeyOf(Parse({"--port"}).Error), "IDS_CLI_NEEDSVALUE");
    EXPECT_EQ(KeyOf(Parse({"-o"}).Error), "IDS_CLI_NEEDSVALUE");
    a = Parse({"-qz"});
    EXPECT_EQ(KeyOf(a.Error), "IDS_CLI_UNKNOWNOPTION");
    EXPECT_EQ(a.Error->Args, std::vector<std::string>{"-z"});
    EXPECT_TRUE(Parse({"-h"}).Help);
}

TEST(OptionParser, ChecksRunInTableOrderAndRequiredOptionsAreMissed) {
    TParsedArgs a = Parse({"--port", "0"});
    std::optional<TMessage> e = CheckOptions(Table(), a);
    EXPECT_EQ(KeyOf(e), "IDS_CLI_MISSINGOPTION") << "series comes first in the table";
    EXPECT_EQ(e->Args, std::vector<std::string>{"--series S"});

    a = Parse({"--series", "f", "--port", "0"});
    e = CheckOptions(Table(), a);
    EXPECT_EQ(KeyOf(e), "IDS_CLI_BADNUMBER");
    EXPECT_EQ(e->Args, (std::vector<std::string>{"--port", "1", "65535", "0"}));
    EXPECT_EQ(a.Get("series", ""), "F") << "a choice takes its listed spelling";

    a = Parse({"--series", "E", "--port", "65535"});
    EXPECT_FALSE(CheckOptions(Table(), a));

    // A repeatable option keeps every value, and every one is checked.
    a = Parse({"--series", "E", "--oem", "ABC", "--oem=tvn"});
    EXPECT_FALSE(CheckOptions(Table(), a));
    EXPECT_EQ(a.GetAll("oem"), (std::vector<std::string>{"ABC", "tvn"}));
    EXPECT_TRUE(a.GetAll("port").empty());
    for (const char* bad : {"..", "a/b", "", "x\\y"}) {
        a = Parse({"--series", "E", "--oem", "ABC", "--oem", bad});
        EXPECT_EQ(KeyOf(CheckOptions(Table(), a)), "IDS_CLI_BADOEM") << bad;
    }
}

TEST(ValueChecks, NumbersChoicesUrlsAndAddresses) {
    const auto refused = [](const TValueCheck& check, std::string value) {
        return check("--x", value).has_value();
    };
    const TValueCheck port = CheckWholeNumber(1, 65535);
    for (const char* bad : {"0", "65536", "99999", "-1", "+81", " 81", "81 ", "0x51", "", "8.1",
                            "99999999999999999999999"}) {
        EXPECT_TRUE(refused(port, bad)) << bad;
    }
    for (const char* good : {"1", "81", "065535"}) {
        EXPECT_FALSE(refused(port, good)) << good;
    }

    // --server: a URL, a file:// URL or a folder, which goes on as an absolute path.
    const TValueCheck source = CheckFirmwareSource();
    EXPECT_FALSE(refused(source, "http://127.0.0.1:8300/FM/"));
    EXPECT_FALSE(refused(source, "HTTPS://firmware.example.com/FM/"));
    std::string folder = "file:///media/usb%20stick/FM";
    EXPECT_FALSE(source("--server", folder));
    EXPECT_EQ(folder, "/media/usb stick/FM/");
    folder = "127.0.0.1/FM/"; // no scheme: a folder below the current one
    EXPECT_FALSE(source("--server", folder));
    EXPECT_EQ(folder.front(), '/');
    EXPECT_TRUE(folder.ends_with("/127.0.0.1/FM/")) << folder;
    for (const char* bad : {"ftp://x/", "htp://x/FM/", "http://", "http://a b/",
                            "file://nas/FM/", ""}) {
        EXPECT_EQ(KeyOf(source("--server", folder = bad)), "IDS_CLI_BADSOURCE") << bad;
    }

    const TValueCheck ipv4 = CheckIPv4("255.255.255.255");
    std::string trimmed = " 127.0.0.1 ";
    EXPECT_FALSE(ipv4("--broadcast", trimmed));
    EXPECT_EQ(trimmed, "127.0.0.1");
    EXPECT_TRUE(refused(ipv4, "127.0.0.256"));
    EXPECT_TRUE(refused(ipv4, "localhost")) << "a broadcast address is never a name";
}

TEST(ValueChecks, HostIsAnAddressOrAResolvingNameAndNumbersNeverReachTheResolver) {
    const TValueCheck host = CheckHost();
    std::string value = "192.0.2.10";
    EXPECT_FALSE(host("--ip", value));
    EXPECT_EQ(value, "192.0.2.10");

    value = "localhost"; // /etc/hosts: no DNS query
    EXPECT_FALSE(host("--ip", value));
    EXPECT_EQ(value, "127.0.0.1") << "the engine gets the address";

    // What the resolver would read as an address in its own ways, or no host name at all:
    // refused as malformed (IDS_CLI_BADHOST), never looked up (IDS_CLI_UNRESOLVED).
    for (const char* bad : {"999.1.1.1", "1.2.3", "010.0.0.1", "0x7f.1", "127.1", "1.2.3.4.5",
                            "256.0.0.1", "", "bad_name", "-host", "host-", "a..b", "a b",
                            "cam.123", "name/x"}) {
        value = bad;
        const std::optional<TMessage> e = host("--ip", value);
        EXPECT_EQ(KeyOf(e), "IDS_CLI_BADHOST") << bad;
        EXPECT_EQ(value, bad);
    }
}

TEST(ValueChecks, HostNameSyntax) {
    for (const char* good : {"localhost", "cam-1.example.org", "a", "x1.y2", "example.org."}) {
        EXPECT_TRUE(IsHostName(good)) << good;
    }
    EXPECT_FALSE(IsHostName(std::string(64, 'a') + ".org")) << "a label of 64 characters";
    EXPECT_TRUE(IsHostName(std::string(63, 'a') + ".org"));
    std::string long_name;
    for (int i = 0; i < 64; ++i) {
        long_name += "abc.";
    }
    EXPECT_FALSE(IsHostName(long_name + "org")) << "more than 253 characters";
}

} // namespace
} // namespace torvane::cli
