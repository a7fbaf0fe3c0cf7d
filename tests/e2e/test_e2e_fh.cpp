// torvane-cli upgrade against simulated F and H cameras: the whole run (login, version,
// catalogue, download, digest, unzip, multipart upload, reboot and polls) through the real
// programs, checked by the log lines printed and the exit status.

#include "support/E2eProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using torvane::test::EnglishUpgradeLines;
using torvane::test::TChildStderr;
using torvane::test::TE2eCamsim;

// camsim and the CLI print to the test's standard error; only their standard output is read.
constexpr auto Stderr = TChildStderr::Inherited;

// One camsim with the given cameras and its firmware server, running for the test.
class TCamsim : public TE2eCamsim {
public:
    explicit TCamsim(const std::vector<std::string>& cameras)
        : TE2eCamsim(
              TORVANE_CAMSIM_PATH,
              {"--server", "127.0.10.100:0", "--reboot-ms", "5", "--exit-after-ms", "300000"},
              cameras, std::chrono::seconds(30), Stderr) {}

    [[nodiscard]] bool Ready() const {
        return TE2eCamsim::Ready() && std::regex_match(Server(), std::regex(R"(http://\S+/FM/)"));
    }
    // Stops camsim and gives what it printed after "ready".
    std::string StopAndOutput() {
        Stop(std::chrono::minutes(10));
        return LaterOutput();
    }
};

struct TRun {
    int ExitStatus = -1;
    std::vector<std::string> Lines; // the log texts, time stamps taken off
    std::string Output;
};

TRun RunCli(const TCamsim& sim, const std::string& series, const std::string& ip,
            const std::vector<std::string>& more, const std::string& runName) {
    // The search setting stays on loopback, although F and H upgrades do not search.
    std::vector<std::string> argv{TORVANE_CLI_PATH, "upgrade",   "--series", series,
                                  "--ip",           ip,          "--port",   sim.Port(ip),
                                  "--server",       sim.Server(), "--broadcast", "127.0.0.1"};
    argv.insert(argv.end(), more.begin(), more.end());
    // A private temporary folder per run, so runs side by side never share downloads.
    const torvane::test::TE2eRunFolder folder("e2e_fh_" + runName);
    const torvane::test::TE2eRun cli = torvane::test::RunToEnd(
        argv, std::chrono::seconds(120),
        {"TORVANE_CLI_TIME_SCALE=0.001", "TMPDIR=" + folder.Path()}, Stderr);
    TRun run;
    run.Output = cli.Output;
    run.ExitStatus = cli.ExitCode;
    const std::regex stamp(R"(^\d\d/\d\d/\d\d \d\d:\d\d:\d\d:)");
    std::istringstream in(run.Output);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        if (std::regex_search(line, m, stamp)) {
            run.Lines.push_back(line.substr(m.length(0)));
        }
    }
    return run;
}

// The naming lines of a press: system, then UI firmware of the camera at ip.
std::string SystemOf(const TCamsim& sim, const std::string& series, const std::string& ip) {
    return "System firmware of the " + series + " series camera at " + ip + ":" + sim.Port(ip);
}
std::string UiOf(const TCamsim& sim, const std::string& series, const std::string& ip) {
    return "UI firmware of the " + series + " series camera at " + ip + ":" + sim.Port(ip);
}

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(E2eFH, FAndHCamerasUpgradeSystemThenUI) {
    TCamsim sim({"series=F,ip=127.0.10.1,port=0,password=135790",
                 "series=H,ip=127.0.10.2,port=0,password=135790"});
    ASSERT_TRUE(sim.Ready()) << sim.StartOutput();

    const TRun f = RunCli(sim, "F", "127.0.10.1", {}, "f");
    EXPECT_EQ(f.ExitStatus, 0) << f.Output;
    EXPECT_EQ(f.Lines,
              Joined(EnglishUpgradeLines(SystemOf(sim, "F", "127.0.10.1"), "1.2.3.4", "1.2.3.5"),
                     EnglishUpgradeLines(UiOf(sim, "F", "127.0.10.1"), "2.0.1.3", "2.0.1.4")))
        << f.Output;

    const TRun h = RunCli(sim, "H", "127.0.10.2", {"--lang", "en"}, "h");
    EXPECT_EQ(h.ExitStatus, 0) << h.Output;
    EXPECT_EQ(h.Lines,
              Joined(EnglishUpgradeLines(SystemOf(sim, "H", "127.0.10.2"), "V2.1.0.9", "V2.1.0.10"),
                     EnglishUpgradeLines(UiOf(sim, "H", "127.0.10.2"), "3.1.0.5", "3.1.0.6")))
        << h.Output;

    // The cameras really took the firmware and came back running it.
    const std::string later = sim.StopAndOutput();
    EXPECT_NE(later.find("127.0.10.1:" + sim.Port("127.0.10.1") +
                         ": up again, system 1.2.3.5 ui 2.0.1.4"),
              std::string::npos)
        << later;
    EXPECT_NE(later.find("127.0.10.2:" + sim.Port("127.0.10.2") +
                         ": up again, system V2.1.0.10 ui 3.1.0.6"),
              std::string::npos)
        << later;
}

TEST(E2eFH, SimplifiedChineseLog) {
    TCamsim sim({"series=H,ip=127.0.10.3,port=0,password=135790"});
    ASSERT_TRUE(sim.Ready()) << sim.StartOutput();
    const TRun h = RunCli(sim, "H", "127.0.10.3", {"--lang", "cn"}, "cn");
    EXPECT_EQ(h.ExitStatus, 0) << h.Output;
    ASSERT_EQ(h.Lines.size(), 18u) << h.Output;
    EXPECT_EQ(h.Lines[0], "H 系列网络摄像机 127.0.10.3:" + sim.Port("127.0.10.3") + " 的系统固件");
    EXPECT_EQ(h.Lines[1], "设备连接正常");
    EXPECT_EQ(h.Lines[2], "当前设备固件版本为:V2.1.0.9");
    EXPECT_EQ(h.Lines[7], "网络摄像机已进入工作状态！");
    EXPECT_EQ(h.Lines[8], "网络摄像机现在运行的是新固件，版本为 V2.1.0.10。");
    EXPECT_EQ(h.Lines[9], "H 系列网络摄像机 127.0.10.3:" + sim.Port("127.0.10.3") + " 的界面固件");
    EXPECT_EQ(h.Lines[11], "当前设备固件版本为:3.1.0.5");
    EXPECT_EQ(h.Lines[16], "网络摄像机已进入工作状态！");
    EXPECT_EQ(h.Lines[17], "网络摄像机现在运行的是新固件，版本为 3.1.0.6。");
}

TEST(E2eFH, UploadReplyThatNeverEndsAndPasswordsWithQueryCharacters) {
    TCamsim sim({"series=F,ip=127.0.10.7,port=0,password=135790,fault=upload-trickle",
                 "series=H,ip=127.0.10.8,port=0,password=135790,fault=upload-trickle",
                 "series=F,ip=127.0.10.9,port=0,password=p#1&next_url=x=%41+"});
    ASSERT_TRUE(sim.Ready()) << sim.StartOutput();

    // The reply to the upload begins and then trickles in without end: the run ends at the
    // reply's deadline with the upload's failure line.
    for (const auto& [series, ip] :
         {std::pair{"F", "127.0.10.7"}, std::pair{"H", "127.0.10.8"}}) {
        const TRun run =
            RunCli(sim, series, ip, {"--firmware", "system"}, std::string("trickle") + series);
        EXPECT_EQ(run.ExitStatus, 1) << run.Output;
        EXPECT_EQ(run.Lines.size(), 7u) << run.Output;
        ASSERT_FALSE(run.Lines.empty()) << run.Output;
        EXPECT_EQ(run.Lines.back(), "Upgrade failed:Connection timed out") << run.Output;
    }

    // "#", "&", "=", "%" and "+" in the password reach the camera as part of it, and the
    // password's "&next_url=" does not become a parameter of its own.
    const TRun f =
        RunCli(sim, "F", "127.0.10.9", {"--password", "p#1&next_url=x=%41+"}, "query");
    EXPECT_EQ(f.ExitStatus, 0) << f.Output;
    EXPECT_EQ(f.Lines,
              Joined(EnglishUpgradeLines(SystemOf(sim, "F", "127.0.10.9"), "1.2.3.4", "1.2.3.5"),
                     EnglishUpgradeLines(UiOf(sim, "F", "127.0.10.9"), "2.0.1.3", "2.0.1.4")))
        << f.Output;
}

TEST(E2eFH, FaultsEndTheRunWithTheirLine) {
    TCamsim sim({"series=F,ip=127.0.10.4,port=0,password=135790,fault=refuse-login",
                 "series=H,ip=127.0.10.5,port=0,password=135790,fault=upload-500",
                 "series=F,ip=127.0.10.6,port=0,password=135790,sys=1.4.0.1,fault=bad-md5:sys"});
    ASSERT_TRUE(sim.Ready()) << sim.StartOutput();

    const TRun refused = RunCli(sim, "F", "127.0.10.4", {"--firmware", "system"}, "refused");
    EXPECT_EQ(refused.ExitStatus, 1) << refused.Output;
    EXPECT_EQ(refused.Lines,
              (std::vector<std::string>{SystemOf(sim, "F", "127.0.10.4"),
                                        "Login name or password is wrong!"}))
        << refused.Output;

    const TRun rejected = RunCli(sim, "H", "127.0.10.5", {"--firmware", "system"}, "rejected");
    EXPECT_EQ(rejected.ExitStatus, 1) << rejected.Output;
    ASSERT_FALSE(rejected.Lines.empty()) << rejected.Output;
    EXPECT_TRUE(
        std::regex_match(rejected.Lines.back(),
                         std::regex(R"(Upgrade failed:HTTP/1\.[01] 500 Internal Server Error)")))
        << rejected.Output;
    EXPECT_EQ(rejected.Lines.size(), 7u) << rejected.Output; // nothing after the failure

    const TRun digest = RunCli(sim, "F", "127.0.10.6", {"--firmware", "system"}, "digest");
    EXPECT_EQ(digest.ExitStatus, 1) << digest.Output;
    ASSERT_FALSE(digest.Lines.empty()) << digest.Output;
    EXPECT_EQ(digest.Lines.back(), "Update check failed!") << digest.Output;
}

} // namespace
