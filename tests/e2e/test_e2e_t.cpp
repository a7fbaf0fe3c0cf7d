// torvane-cli upgrade --series T against simulated T cameras: system then UI firmware, the
// camera taking the files on port 8600 of its address and coming back with the new
// versions; and a refused account.

#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "support/E2eProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace torvane {
namespace {

using test::E2eReadyTimeout;
using test::CountKey;
using test::E2eRunTimeout;
using test::EndsWith;
using test::TE2eCamsim;
using test::TE2eRun;

class TE2ETest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Packs = new TfrmStrRes("e2e_t_test"); }
    static void TearDownTestSuite() {
        delete Packs;
        Packs = nullptr;
    }

    // Starts camsim with the cameras and waits for "ready"; its Server() is the firmware URL.
    void StartCamsim(const std::vector<std::string>& cameras) {
        FCamsim = std::make_unique<TE2eCamsim>(
            TORVANE_CAMSIM_PATH,
            std::vector<std::string>{"--server", "127.0.0.40:0", "--time-scale", "0.001"}, cameras,
            E2eReadyTimeout);
        if (!FCamsim->Ready()) {
            FAIL() << "camsim did not get ready:\n" << FCamsim->StartOutput();
        }
    }

    TE2eRun RunCli(const std::string& ip, const std::string& password) {
        return test::RunToEnd({TORVANE_CLI_PATH, "upgrade", "--series", "T", "--ip", ip, "--port",
                               "8081", "--user", "admin", "--password", password, "--server",
                               FCamsim->Server(), "--lang", "en", "--broadcast", "127.0.0.1"},
                              E2eRunTimeout, {"TORVANE_CLI_TIME_SCALE=0.001"});
    }

    // camsim's output after it stopped.
    std::string StopCamsim() {
        FCamsim->Stop(E2eReadyTimeout);
        return FCamsim->Output();
    }


    static TfrmStrRes* Packs;
    std::unique_ptr<TE2eCamsim> FCamsim;
};

TfrmStrRes* TE2ETest::Packs = nullptr;

TEST_F(TE2ETest, SystemThenUiFirmwareOnBothSidesOfTheUploadPortVersion) {
    // 127.0.0.41 runs a system version that takes firmware on port 8600 only; 127.0.0.42 an
    // older one, which the client sends to the address it is given (port 8600 as well).
    StartCamsim({"series=T,ip=127.0.0.41,port=8081,password=135790,oem=TVN",
                 "series=T,ip=127.0.0.42,port=8081,password=135790,oem=TVN,sys=48.1.9"});
    ASSERT_FALSE(FCamsim->Server().empty());
    for (const std::string ip : {"127.0.0.41", "127.0.0.42"}) {
        const TE2eRun run = RunCli(ip, "135790");
        const std::string& log = run.Output;
        EXPECT_EQ(run.ExitCode, 0) << log;
        EXPECT_EQ(CountKey(run.Lines, "IDS_UPGRADED"), 2) << log;
        EXPECT_EQ(CountKey(run.Lines, "IDS_IPCWORKING"), 2) << log;
        ASSERT_FALSE(run.Lines.empty());
        EXPECT_TRUE(run.Lines.back().find(":The camera now runs version ") != std::string::npos) << log;
    }
    const std::string camsim = StopCamsim();
    EXPECT_NE(camsim.find("camera T 127.0.0.41:8081: received system firmware 48.2.0.131"),
              std::string::npos)
        << camsim;
    EXPECT_NE(camsim.find("camera T 127.0.0.41:8081: received ui firmware 3.1.0.6"),
              std::string::npos)
        << camsim;
    EXPECT_NE(camsim.find("camera T 127.0.0.42:8081: received system firmware 48.1.10"),
              std::string::npos)
        << camsim;
    EXPECT_NE(camsim.find("127.0.0.42:8081: up again, system 48.1.10 ui 3.1.0.6"),
              std::string::npos)
        << camsim;
}

TEST_F(TE2ETest, RefusedAccountEndsWithPasswordError) {
    StartCamsim({"series=T,ip=127.0.0.43,port=8081,password=135790"});
    const TE2eRun run = RunCli("127.0.0.43", "wrong");
    const std::string& log = run.Output;
    EXPECT_EQ(run.ExitCode, 1) << log;
    EXPECT_EQ(CountKey(run.Lines, "IDS_PASSWORDERROR"), 2) << log; // the system run and the UI run
    ASSERT_FALSE(run.Lines.empty());
    EXPECT_TRUE(EndsWith(run.Lines.back(), GetStrRes("IDS_PASSWORDERROR"))) << log;
    const std::string camsim = StopCamsim();
    EXPECT_EQ(camsim.find("received"), std::string::npos) << camsim;
}

TEST_F(TE2ETest, PasswordsWithQueryCharactersAndAnUploadReplyThatNeverEnds) {
    // "#" would end the query, "&" and "=" split it, "%" and "+" be read as escapes: the
    // camera still gets the password whole.
    StartCamsim({"series=T,ip=127.0.0.44,port=8081,password=p#1&x=%41+",
                 "series=T,ip=127.0.0.45,port=8081,password=135790,fault=upload-trickle:sys"});
    TE2eRun run = RunCli("127.0.0.44", "p#1&x=%41+");
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_EQ(CountKey(run.Lines, "IDS_IPCWORKING"), 2) << run.Output;

    // The camera takes the system file and then answers with a reply that never ends: the
    // run ends at the reply's deadline with the upload's failure line, and the UI run
    // still goes through.
    run = RunCli("127.0.0.45", "135790");
    EXPECT_EQ(run.ExitCode, 1) << run.Output;
    EXPECT_EQ(CountKey(run.Lines, "IDS_UPGRADEFAIL"), 1) << run.Output;
    EXPECT_EQ(CountKey(run.Lines, "IDS_IPCWORKING"), 1) << run.Output;
    const std::string camsim = StopCamsim();
    EXPECT_NE(camsim.find("127.0.0.45:8081: upload of system firmware"), std::string::npos)
        << camsim;
}

} // namespace
} // namespace torvane
