// torvane-cli upgrade --series E against simulated E cameras: the version read from the CTP
// search, the PK2 package sent in the camera's upgrade mode, the reboot into the new
// version; system firmware, then UI firmware. And the failures of a camera that refuses the
// file or never comes back.
//
// The search probe goes to the broadcast address setting: the CLI runs with a private
// settings folder whose option.ini points it at 127.0.0.1, where camsim answers.

#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "support/E2eProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace torvane {
namespace {

using test::E2eReadyTimeout;
using test::CountKey;
using test::E2eRunTimeout;
using test::EndsWith;
using test::TE2eCamsim;
using test::TE2eRun;

constexpr const char* SearchComplaint = "CTP search 127.0.0.1:7999";


class E2EESeries : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Packs = new TfrmStrRes("e2e_e_test"); }
    static void TearDownTestSuite() {
        delete Packs;
        Packs = nullptr;
    }

    void SetUp() override {
        // An option.ini beside the program would win over ours: it must not name another
        // broadcast address.
        const std::string cli = TORVANE_CLI_PATH;
        const std::string beside = cli.substr(0, cli.rfind('/') + 1) + "option.ini";
        if (platform::FileExists(beside)) {
            const std::string broadcast =
                platform::TIniFile(beside).ReadString("Global", "broadcast", "");
            if (!broadcast.empty() && broadcast.rfind("127.", 0) != 0) {
                GTEST_SKIP() << beside << " sends the search to " << broadcast;
            }
        }
        // The settings folder of the window and the CLI, with the search pointed at loopback.
        FConfig = platform::TempFolder() + "e2e-e-config-" + std::to_string(::getpid()) + "/";
        ::mkdir(FConfig.c_str(), 0700);
        ::mkdir((FConfig + "torvane").c_str(), 0700);
        std::ofstream(FConfig + "torvane/option.ini") << "[Global]\r\nbroadcast=127.0.0.1\r\n";
    }

    // Starts camsim with the cameras and waits for "ready"; false (test skipped) when the
    // search port is taken by something else on this machine.
    bool StartCamsim(const std::vector<std::string>& cameras) {
        FCamsim = std::make_unique<TE2eCamsim>(
            TORVANE_CAMSIM_PATH,
            std::vector<std::string>{"--server", "127.0.0.29:0", "--time-scale", "0.001"}, cameras,
            E2eReadyTimeout);
        if (FCamsim->StartOutput().find(SearchComplaint) != std::string::npos) {
            return false;
        }
        if (FCamsim->Ready()) {
            return !FCamsim->Server().empty();
        }
        ADD_FAILURE() << "camsim did not get ready:\n" << FCamsim->StartOutput();
        return false;
    }

    TE2eRun RunCli(const std::string& ip) {
        return test::RunToEnd(
            {TORVANE_CLI_PATH, "upgrade", "--series", "E", "--ip", ip, "--port", "8120", "--user",
             "admin", "--password", "secret", "--server", FCamsim->Server(), "--lang", "en"},
            E2eRunTimeout, {"TORVANE_CLI_TIME_SCALE=0.001", "XDG_CONFIG_HOME=" + FConfig});
    }

    std::string StopCamsim() {
        FCamsim->Stop(E2eReadyTimeout);
        return FCamsim->Output();
    }

    static TfrmStrRes* Packs;
    std::unique_ptr<TE2eCamsim> FCamsim;
    std::string FConfig;
};

TfrmStrRes* E2EESeries::Packs = nullptr;

TEST_F(E2EESeries, SystemThenUiFirmwareOverCtp) {
    if (!StartCamsim({"series=E,ip=127.0.0.20,port=8120,password=secret,oem=EVN"})) {
        GTEST_SKIP() << "127.0.0.1:7999 is taken here:\n" << FCamsim->StartOutput();
    }
    const TE2eRun run = RunCli("127.0.0.20");
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    // The system version as the search gives it: the middle word and its blank.
    EXPECT_NE(run.Output.find(GetStrRes("IDS_CURRVERSION") + "1.3.2.8 \n"), std::string::npos)
        << run.Output;
    EXPECT_NE(run.Output.find(GetStrRes("IDS_HIGHVERSION") + "1.3.3.8"), std::string::npos)
        << run.Output;
    EXPECT_EQ(CountKey(run.Lines, "IDS_UPGRADED"), 2) << run.Output;
    EXPECT_EQ(CountKey(run.Lines, "IDS_IPCWORKING"), 2) << run.Output;
    ASSERT_FALSE(run.Lines.empty());
    EXPECT_TRUE(run.Lines.back().find(":The camera now runs version ") != std::string::npos) << run.Output;

    const std::string camsim = StopCamsim();
    const std::string camera = "camera E 127.0.0.20:8120: ";
    EXPECT_NE(camsim.find(camera + "received system firmware 1.3.3.8"), std::string::npos)
        << camsim;
    EXPECT_NE(camsim.find(camera + "received ui firmware 2.4.0.7"), std::string::npos) << camsim;
    EXPECT_NE(camsim.find(camera + "up again, system 1.3.3.8 ui 2.4.0.7"), std::string::npos)
        << camsim;
}

TEST_F(E2EESeries, RefusedFileAndCameraThatNeverComesBack) {
    if (!StartCamsim({"series=E,ip=127.0.0.21,port=8120,password=secret,fault=upload-500:sys",
                      "series=E,ip=127.0.0.22,port=8120,password=secret,fault=no-return"})) {
        GTEST_SKIP() << "127.0.0.1:7999 is taken here:\n" << FCamsim->StartOutput();
    }
    // The camera refuses the system file: that run ends with the transfer error, the UI run
    // still goes through.
    TE2eRun run = RunCli("127.0.0.21");
    EXPECT_EQ(run.ExitCode, 1) << run.Output;
    EXPECT_EQ(CountKey(run.Lines, "IDS_UPGRADEFILEERR"), 1) << run.Output;
    EXPECT_EQ(CountKey(run.Lines, "IDS_IPCWORKING"), 1) << run.Output;

    // The camera goes down after the transfer and stays down: the upload fails with an
    // empty message, and the UI run finds no camera.
    run = RunCli("127.0.0.22");
    EXPECT_EQ(run.ExitCode, 1) << run.Output;
    EXPECT_EQ(CountKey(run.Lines, "IDS_IPCNOTWORK"), 0) << run.Output;
    EXPECT_EQ(CountKey(run.Lines, "IDS_UPGRADED"), 0) << run.Output;
    ASSERT_FALSE(run.Lines.empty());
    EXPECT_TRUE(EndsWith(run.Lines.back(), GetStrRes("IDS_NOIPCCONNECT"))) << run.Output;

    const std::string camsim = StopCamsim();
    EXPECT_NE(camsim.find("camera E 127.0.0.21:8120: refused firmware.img"), std::string::npos)
        << camsim;
    EXPECT_NE(camsim.find("camera E 127.0.0.22:8120: down, and stays down"), std::string::npos)
        << camsim;
}

TEST_F(E2EESeries, CamerasThatSplitTheirRepliesTalkOrStaySilent) {
    if (!StartCamsim({"series=E,ip=127.0.0.23,port=8120,password=secret,fault=ctp-byte-by-byte",
                      "series=E,ip=127.0.0.24,port=8120,password=secret,fault=ctp-progress",
                      "series=E,ip=127.0.0.26,port=8120,password=secret,fault=ctp-mute-login"})) {
        GTEST_SKIP() << "127.0.0.1:7999 is taken here:\n" << FCamsim->StartOutput();
    }
    // Every answer and reply a byte at a time; a progress note after each Continue line:
    // both cameras take system and UI firmware.
    for (const std::string ip : {"127.0.0.23", "127.0.0.24"}) {
        const TE2eRun run = RunCli(ip);
        EXPECT_EQ(run.ExitCode, 0) << run.Output;
        EXPECT_EQ(CountKey(run.Lines, "IDS_UPGRADED"), 2) << run.Output;
        EXPECT_EQ(CountKey(run.Lines, "IDS_IPCWORKING"), 2) << run.Output;
    }
    // A camera that never answers the CTP login is one that cannot be reached, not one that
    // refuses the password.
    const TE2eRun silent = RunCli("127.0.0.26");
    EXPECT_EQ(silent.ExitCode, 1) << silent.Output;
    EXPECT_EQ(CountKey(silent.Lines, "IDS_NOIPCCONNECT"), 2) << silent.Output;
    EXPECT_EQ(CountKey(silent.Lines, "IDS_LOGINERROR"), 0) << silent.Output;

    const std::string camsim = StopCamsim();
    EXPECT_NE(camsim.find("127.0.0.23:8120: up again, system 1.3.3.8 ui 2.4.0.7"),
              std::string::npos)
        << camsim;
    EXPECT_NE(camsim.find("127.0.0.24:8120: up again, system 1.3.3.8 ui 2.4.0.7"),
              std::string::npos)
        << camsim;
    EXPECT_EQ(camsim.find("127.0.0.26:8120: received"), std::string::npos) << camsim;
}

} // namespace
} // namespace torvane
