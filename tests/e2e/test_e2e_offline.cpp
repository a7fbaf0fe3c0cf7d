// A site without a network: torvane-cli upgrades cameras of every series with firmware from
// a folder (camsim writes its firmware server's files there and runs no server) or from the
// same folder as a file:// URL; torvane-cli mirror copies a running firmware server into a
// folder that then serves the upgrade on its own; and the settings file the window writes
// is the one torvane-cli reads, with its own former file still heard.

#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "support/E2eProcess.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace torvane {
namespace {

using test::E2eReadyTimeout;
using test::CountKey;
using test::E2eRunTimeout;
using test::EndsWith;
using test::TE2eCamsim;
using test::TE2eRun;
using test::TE2eRunFolder;

constexpr const char* SearchComplaint = "CTP search 127.0.0.1:7999";


// The folder as a file:// URL (the scratch paths hold nothing to encode but "_").
std::string FileUrl(const std::string& folder) {
    return "file://" + folder;
}

class E2EOffline : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Packs = new TfrmStrRes("e2e_offline_test"); }
    static void TearDownTestSuite() {
        delete Packs;
        Packs = nullptr;
    }

    // camsim with the cameras; no firmware server unless asked, its files in FFolder.
    bool StartCamsim(const std::vector<std::string>& cameras, bool server = false) {
        std::vector<std::string> options{"--time-scale", "0.001", "--firmware-folder", FFolder};
        if (server) {
            options.insert(options.end(), {"--server", "127.0.15.100:0"});
        } else {
            options.push_back("--no-server");
        }
        FCamsim = std::make_unique<TE2eCamsim>(TORVANE_CAMSIM_PATH, options, cameras,
                                               E2eReadyTimeout);
        if (FCamsim->StartOutput().find(SearchComplaint) != std::string::npos) {
            return false;
        }
        EXPECT_TRUE(FCamsim->Ready()) << FCamsim->StartOutput();
        return FCamsim->Ready();
    }

    TE2eRun Cli(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
        args.insert(args.begin(), TORVANE_CLI_PATH);
        std::vector<std::string> all{"TORVANE_CLI_TIME_SCALE=0.001", "XDG_CONFIG_HOME=" + FConfig};
        all.insert(all.end(), env.begin(), env.end());
        return test::RunToEnd(args, E2eRunTimeout, all);
    }
    TE2eRun Upgrade(const std::string& series, const std::string& ip, const std::string& port,
                    const std::string& server, const std::vector<std::string>& more = {}) {
        std::vector<std::string> args{"upgrade", "--series", series, "--ip", ip, "--port", port,
                                      "--password", "135790", "--server", server,
                                      "--broadcast", "127.0.0.1", "--lang", "en"};
        args.insert(args.end(), more.begin(), more.end());
        // A temporary folder per run: nothing unpacked by one run serves another.
        const TE2eRunFolder temp("e2e_offline_" + ip);
        return Cli(args, {"TMPDIR=" + temp.Path()});
    }

    static TfrmStrRes* Packs;
    const TE2eRunFolder FScratch{"e2e_offline"};
    const std::string FFolder = FScratch.Path() + "/stick";
    const std::string FConfig = FScratch.Path() + "/config";
    std::unique_ptr<TE2eCamsim> FCamsim;
};

TfrmStrRes* E2EOffline::Packs = nullptr;

TEST_F(E2EOffline, EverySeriesUpgradesFromAFolderAndFromAFileUrl) {
    if (!StartCamsim({"series=E,ip=127.0.15.11,port=8120,password=135790",
                      "series=F,ip=127.0.15.12,port=8081,password=135790",
                      "series=H,ip=127.0.15.13,port=8082,password=135790",
                      "series=T,ip=127.0.15.14,port=8081,password=135790",
                      "series=E,ip=127.0.15.21,port=8120,password=135790",
                      "series=F,ip=127.0.15.22,port=8081,password=135790",
                      "series=H,ip=127.0.15.23,port=8082,password=135790",
                      "series=T,ip=127.0.15.24,port=8081,password=135790",
                      "series=F,ip=127.0.15.30,port=8081,password=135790,sys=1.4.0.1,"
                      "fault=bad-md5:sys"})) {
        GTEST_SKIP() << "127.0.0.1:7999 is taken here:\n" << FCamsim->StartOutput();
    }
    struct TCase {
        const char* Series;
        const char* Ip;
        const char* Port;
        std::string Server;
    };
    const std::vector<TCase> cases = {
        {"E", "127.0.15.11", "8120", FFolder},          {"F", "127.0.15.12", "8081", FFolder},
        {"H", "127.0.15.13", "8082", FFolder},          {"T", "127.0.15.14", "8081", FFolder},
        {"E", "127.0.15.21", "8120", FileUrl(FFolder)}, {"F", "127.0.15.22", "8081", FileUrl(FFolder)},
        {"H", "127.0.15.23", "8082", FileUrl(FFolder)}, {"T", "127.0.15.24", "8081", FileUrl(FFolder)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Series) + " " + c.Ip + " from " + c.Server);
        const TE2eRun run = Upgrade(c.Series, c.Ip, c.Port, c.Server);
        EXPECT_EQ(run.ExitCode, 0) << run.Output;
        EXPECT_EQ(CountKey(run.Lines, "IDS_DOWNLOADING"), 2) << run.Output;
        EXPECT_EQ(CountKey(run.Lines, "IDS_UPGRADED"), 2) << run.Output;
        EXPECT_EQ(CountKey(run.Lines, "IDS_IPCWORKING"), 2) << run.Output;
    }

    // A package in the folder whose MD5 is not the catalogue's: checked, refused, not sent.
    TE2eRun run = Upgrade("F", "127.0.15.30", "8081", FFolder, {"--firmware", "system"});
    EXPECT_EQ(run.ExitCode, 1) << run.Output;
    ASSERT_FALSE(run.Lines.empty()) << run.Output;
    EXPECT_TRUE(EndsWith(run.Lines.back(), GetStrRes("IDS_MD5ERROR"))) << run.Output;

    // A folder that is not there: the line of a server that cannot be reached.
    run = Upgrade("F", "127.0.15.30", "8081", FFolder + "/not-here", {"--firmware", "ui"});
    EXPECT_EQ(run.ExitCode, 1) << run.Output;
    ASSERT_FALSE(run.Lines.empty()) << run.Output;
    EXPECT_TRUE(EndsWith(run.Lines.back(), GetStrRes("IDS_DOWNFIRMERR"))) << run.Output;

    FCamsim->Stop(E2eReadyTimeout);
    const std::string camsim = FCamsim->Output();
    for (const char* ip : {"127.0.15.11", "127.0.15.12", "127.0.15.13", "127.0.15.14",
                           "127.0.15.21", "127.0.15.22", "127.0.15.23", "127.0.15.24"}) {
        EXPECT_NE(camsim.find(std::string(ip) + ":"), std::string::npos);
        EXPECT_TRUE(std::regex_search(camsim, std::regex(std::string(ip) +
                                                          R"(:\d+: up again, system \S+ ui)")))
            << ip << "\n"
            << camsim;
    }
    EXPECT_EQ(camsim.find("127.0.15.30:8081: received"), std::string::npos) << camsim;
}

TEST_F(E2EOffline, AMirrorOfAServerServesTheUpgradeWithoutIt) {
    const std::vector<std::string> cameras{"series=F,ip=127.0.15.41,port=8081,password=135790",
                                           "series=H,ip=127.0.15.42,port=8082,password=135790"};
    ASSERT_TRUE(StartCamsim(cameras, true));
    const std::string server = FCamsim->Server();
    const std::string mirror = FScratch.Path() + "/mirror";

    TE2eRun run = Cli({"mirror", "--server", server, "--to", mirror, "--oem", "ABC"});
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_EQ(test::CountEndingWith(run.Lines, "entries)"), 2) << run.Output;
    ASSERT_FALSE(run.Lines.empty());
    EXPECT_EQ(run.Lines.back(),
              mirror + " is complete: 4 copied, 0 unchanged, 0 refused, 0 failed");

    // A second run copies nothing.
    run = Cli({"mirror", "--server", server, "--to", mirror, "--oem", "abc", "--json", "-q"});
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    ASSERT_EQ(run.Lines.size(), 1u) << run.Output;
    EXPECT_NE(run.Lines[0].find("\"copied\":0,\"unchanged\":4,\"refused\":0,\"failed\":0"),
              std::string::npos)
        << run.Output;

    // The server goes; the same cameras come back without one and upgrade from the mirror.
    FCamsim->Stop(E2eReadyTimeout);
    ASSERT_TRUE(StartCamsim(cameras, false));
    run = Cli({"mirror", "--server", server, "--to", mirror});
    EXPECT_EQ(run.ExitCode, 1) << "no server to copy from\n" << run.Output;
    run = Upgrade("F", "127.0.15.41", "8081", mirror);
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_EQ(CountKey(run.Lines, "IDS_IPCWORKING"), 2) << run.Output;
    run = Upgrade("H", "127.0.15.42", "8082", FileUrl(mirror));
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_EQ(CountKey(run.Lines, "IDS_IPCWORKING"), 2) << run.Output;
}

TEST_F(E2EOffline, TheWindowsSettingsFileIsTheCliOnesAndTheFormerFileIsHeard) {
    // A firmware folder made by hand, as someone hosting firmware would.
    const std::string folder = FScratch.Path() + "/hand";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((folder + "/system").c_str(), 0755), 0);
    std::ofstream(folder + "/system/fw.zip") << "abc";
    std::ofstream(folder + "/system/firmware.txt")
        << "[1.0]\r\nSysVer=1.1\r\nSysFile=fw.zip\r\nMD5=900150983cd24fb0d6963f7d28e17f72\r\n";
    ASSERT_EQ(::mkdir(FConfig.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((FConfig + "/torvane").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((FConfig + "/torvane-cli").c_str(), 0700), 0);
    const std::string shared = FConfig + "/torvane/option.ini";
    const std::string former = FConfig + "/torvane-cli/option.ini";

    // The file the window writes: torvane-cli takes its server from there.
    std::ofstream(shared) << "[Global]\r\nlan=cn\r\nserver=" << folder << "\r\n";
    const std::string copy = FScratch.Path() + "/copy";
    TE2eRun run = Cli({"mirror", "--to", copy});
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_EQ(run.Output.find("warning"), std::string::npos) << run.Output;

    // torvane-cli's former file: still read where the shared one is silent, and said so.
    std::ofstream(shared, std::ios::trunc) << "[Global]\r\nlan=cn\r\n";
    std::ofstream(former) << "[Global]\r\nserver=" << folder << "\r\n";
    run = Cli({"mirror", "--to", copy});
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_NE(run.Output.find("torvane-cli: warning: " + former + " is still read"),
              std::string::npos)
        << run.Output;

    // Where both set it, the shared file wins, and the one not used is named.
    std::ofstream(shared, std::ios::trunc) << "[Global]\r\nserver=" << folder << "/gone\r\n";
    run = Cli({"mirror", "--to", copy});
    EXPECT_EQ(run.ExitCode, 1) << run.Output;
    EXPECT_NE(run.Output.find("the setting server=" + folder + " in " + former +
                              " is not used: " + shared + " sets server=" + folder + "/gone"),
              std::string::npos)
        << run.Output;
}

} // namespace
} // namespace torvane
