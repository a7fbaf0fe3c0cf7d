// torvane-cli discover against simulated cameras of the four families: F (MO_I), H (the
// 1010 protocol), E (CTP) and T (the DH search), every probe to 127.0.0.1.

#include "support/E2eProcess.h"
#include "support/LoopbackUdpPeer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using torvane::test::RunToEnd;
using torvane::test::TE2eCamsim;
using torvane::test::TE2eRun;

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> out;
    std::string piece;
    std::istringstream in(text);
    while (std::getline(in, piece, separator)) {
        out.push_back(piece);
    }
    return out;
}

TEST(DiscoverE2E, ListsOneCameraOfEachFamily) {
    TE2eCamsim camsim(TORVANE_CAMSIM_PATH, {"--no-server", "--exit-after-ms", "60000"},
                      {"series=F,ip=127.0.0.30,port=8081", "series=H,ip=127.0.0.31,port=8082",
                       "series=E,ip=127.0.0.32,port=8083",
                       "series=T,ip=127.0.0.33,port=8084,password=zq7search"},
                      torvane::test::E2eReadyTimeout);
    ASSERT_TRUE(camsim.Ready()) << camsim.StartOutput();
    if (camsim.StartOutput().find("will not answer the search") != std::string::npos) {
        GTEST_SKIP() << "a search port of the simulator is taken here:\n" << camsim.StartOutput();
    }

    const TE2eRun run =
        RunToEnd({TORVANE_CLI_PATH, "discover", "--broadcast", "127.0.0.1", "--seconds", "2"},
                 std::chrono::seconds(30));
    const std::string& out = run.Output;
    ASSERT_EQ(run.ExitCode, 0) << out;

    // series code, name, IP address, port, series index, identity, interface
    std::map<std::string, std::vector<std::string>> byAddress;
    for (const std::string& line : Split(out, '\n')) {
        const std::vector<std::string> columns = Split(line, '\t');
        ASSERT_EQ(columns.size(), 7u) << line;
        byAddress[columns[2]] = columns;
    }
    const std::vector<std::vector<std::string>> expected = {
        {"F", "camsim-F", "127.0.0.30", "8081", "1"},
        {"H", "camsim-H", "127.0.0.31", "8082", "2"},
        {"E", "camsim-E", "127.0.0.32", "8083", "0"},
        {"T", "camsim", "127.0.0.33", "8084", "3"},
    };
    for (const auto& camera : expected) {
        const auto it = byAddress.find(camera[2]);
        ASSERT_NE(it, byAddress.end()) << camera[2] << " not listed:\n" << out;
        for (std::size_t i = 0; i < camera.size(); ++i) {
            EXPECT_EQ(it->second[i], camera[i]) << out;
        }
        EXPECT_FALSE(it->second[5].empty());
        EXPECT_EQ(it->second[6], "lo") << out; // every simulated camera answers on loopback
    }
    // The T camera's search reply carries its password: it is never printed.
    EXPECT_EQ(out.find("zq7search"), std::string::npos) << out;

    // Listed in the session's order: ascending by IP address.
    std::vector<std::string> order;
    for (const std::string& line : Split(out, '\n')) {
        const std::string ip = Split(line, '\t')[2];
        if (ip.rfind("127.0.0.3", 0) == 0) {
            order.push_back(ip);
        }
    }
    EXPECT_EQ(order,
              (std::vector<std::string>{"127.0.0.30", "127.0.0.31", "127.0.0.32", "127.0.0.33"}));

    // The JSON list carries whole records; the H camera's DDNS message reached its entry.
    const TE2eRun json = RunToEnd(
        {TORVANE_CLI_PATH, "discover", "--broadcast", "127.0.0.1", "--seconds", "1", "--json"},
        std::chrono::seconds(30));
    const std::string& records = json.Output;
    ASSERT_EQ(json.ExitCode, 0) << records;
    EXPECT_EQ(records.substr(0, 2), "[\n") << records;
    EXPECT_NE(records.find("\"szIPAddr\":\"127.0.0.31\""), std::string::npos) << records;
    EXPECT_NE(records.find("\"szDdns\":\"ddns.camsim.test\""), std::string::npos) << records;
    EXPECT_NE(records.find("\"nType\":9"), std::string::npos) << records;
    // Neither the T camera's login password nor any DDNS password is printed.
    EXPECT_NE(records.find("\"szLoginUser\":\"admin\""), std::string::npos) << records;
    EXPECT_EQ(records.find("zq7search"), std::string::npos) << records;
    EXPECT_EQ(records.find("Pwd"), std::string::npos) << records;
    EXPECT_NE(records.find("\"interface\":\"lo\"}"), std::string::npos) << records;
}

// The safety net of the test programs: a run that leaves the broadcast setting at its
// compiled-in "auto" finds no interface to send on in the host's namespace (the tests
// confine it there), says so, and lists nothing.
TEST(DiscoverE2E, AutoSendsNothingOnTheHostsInterfacesUnderTest) {
    const TE2eRun run = RunToEnd({TORVANE_CLI_PATH, "discover", "--seconds", "1"},
                                 std::chrono::seconds(30));
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_EQ(run.Output,
              "torvane-cli: warning: no network interface that can broadcast is up; the search "
              "uses one once it is\n");
}

// A T-series search reply from 127.0.0.1 for a camera at 127.0.0.77 whose login password is
// password, padded to size bytes.
std::string T924Reply(const std::string& password, std::size_t size) {
    std::string d(size, '\0');
    d.replace(0, 4, "DH\x01\x08");
    d.replace(4, 10, "127.0.0.77");
    d.replace(84, 6, std::string("\x00\x1A\x2B\x3C\x4D\x77", 6));
    d[90] = 0x51; // port 81
    d.replace(268, password.size(), password);
    return d;
}

// -v and TORVANE_DEBUG switch the diagnostic log on: what the search drops shows on
// standard error with its reason, and never a password. A T camera on 127.0.0.1's port
// 8600 answers each probe with a datagram too long for the search, one that is no reply,
// and a whole reply that carries its password.
TEST(DiscoverE2E, TheDiagnosticLogShowsWhatTheSearchDropsButNoPassword) {
    const std::string password = "zq7diagsecret";
    torvane::test::TLoopbackUdpPeer camera("127.0.0.1", 8600);
    camera.SetResponder([&](const torvane::test::TDatagram&) {
        return std::vector<std::string>{T924Reply(password, 1100), "XYZ",
                                        T924Reply(password, 516)};
    });
    const auto discover = [](const std::vector<std::string>& more,
                             const std::vector<std::string>& env) {
        std::vector<std::string> argv{TORVANE_CLI_PATH, "discover", "--broadcast", "127.0.0.1",
                                      "--seconds", "2"};
        argv.insert(argv.end(), more.begin(), more.end());
        return RunToEnd(argv, std::chrono::seconds(30), env);
    };
    const TE2eRun verbose = discover({"-v"}, {});
    const TE2eRun byVariable = discover({}, {"TORVANE_DEBUG=discovery"});
    const TE2eRun otherCategory = discover({}, {"TORVANE_DEBUG=ctp,bogus"});
    ASSERT_FALSE(camera.Received().empty()) << "the search's probes reached the camera";

    for (const TE2eRun* run : {&verbose, &byVariable}) {
        ASSERT_EQ(run->ExitCode, 0) << run->Output;
        EXPECT_NE(run->Output.find("torvane-cli: debug discovery: the T-series search dropped a "
                                   "datagram of 1100 bytes from 127.0.0.1:8600: longer "
                                   "than the 1024-byte buffer"),
                  std::string::npos)
            << run->Output;
        EXPECT_NE(run->Output.find("dropped a datagram of 3 bytes from 127.0.0.1:8600: no "
                                   "T-series search reply"),
                  std::string::npos)
            << run->Output;
        // The camera of the whole reply is listed; its password is on no line.
        EXPECT_NE(run->Output.find("T\t\t127.0.0.77\t81\t3\t"), std::string::npos)
            << run->Output;
        EXPECT_EQ(run->Output.find(password), std::string::npos) << run->Output;
    }
    EXPECT_NE(verbose.Output.find("torvane-cli: search pass 1:"), std::string::npos) << verbose.Output;

    // Only the categories named; a name it does not know is said once.
    ASSERT_EQ(otherCategory.ExitCode, 0) << otherCategory.Output;
    EXPECT_EQ(otherCategory.Output.find("debug discovery"), std::string::npos)
        << otherCategory.Output;
    EXPECT_NE(otherCategory.Output.find("torvane-cli: debug: TORVANE_DEBUG names no category "
                                        "\"bogus\""),
              std::string::npos)
        << otherCategory.Output;
}

TEST(DiscoverE2E, RefusesBadSearchSettings) {
    const TE2eRun run = RunToEnd({TORVANE_CLI_PATH, "discover", "--broadcast", "127.0.0.256"},
                                 std::chrono::seconds(10));
    const std::string& out = run.Output;
    EXPECT_EQ(run.ExitCode, 2) << out;
    EXPECT_NE(out.find("--broadcast"), std::string::npos) << out;

    const TE2eRun named = RunToEnd({TORVANE_CLI_PATH, "discover", "--interface", "eth0:1"},
                                   std::chrono::seconds(10));
    EXPECT_EQ(named.ExitCode, 2) << named.Output;
    EXPECT_NE(named.Output.find("--interface"), std::string::npos) << named.Output;

    // The upgrade's version search takes the same settings, checked the same way.
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--broadcast", "lan"},
                                                std::vector<std::string>{"--interface", ""}}) {
        std::vector<std::string> argv{TORVANE_CLI_PATH, "upgrade", "--series", "E", "--ip",
                                      "127.0.0.1"};
        argv.insert(argv.end(), bad.begin(), bad.end());
        const TE2eRun upgrade = RunToEnd(argv, std::chrono::seconds(10));
        EXPECT_EQ(upgrade.ExitCode, 2) << upgrade.Output;
        EXPECT_NE(upgrade.Output.find(bad[0] + " takes"), std::string::npos) << upgrade.Output;
    }
}

} // namespace
