// torvane-cli ended by a signal: it deletes the language packs it wrote into the temporary
// folder and ends by that signal; in the middle of a firmware upload it lets the upload
// finish first, and a second signal ends it at once. The camera and the firmware server
// are one loopback HTTP server whose upload reply the test holds back, so the signal
// arrives at a moment the test chooses.

#include "support/E2eProcess.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestSupport.h"
#include "upgrade/PackageBuilder.h"
#include "upgrade/md5.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace torvane::test;
using namespace std::chrono_literals;

constexpr const char* UploadPath = "/cgi-bin/upgrade_firmware.cgi";

bool FolderExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The text of a message in the English pack, as torvane-cli prints it.
std::string EnglishText(const std::string& key) {
    const TE2eRunFolder folder("signals-text");
    const TE2eRun run = RunToEnd({TORVANE_CLI_PATH, "text", key}, 30s,
                                 {"TMPDIR=" + folder.Path()}, TChildStderr::Inherited);
    return run.Lines.empty() ? std::string() : run.Lines[0];
}

// Lets a blocked reply go (or every one, once released for good).
class TGate {
public:
    void Wait() {
        std::unique_lock<std::mutex> lock(FLock);
        FEntered = true;
        FChanged.notify_all();
        // Bounded, so that a failing test never leaves the server's thread hanging.
        (void)FChanged.wait_for(lock, 60s, [this] { return FOpen; });
    }
    bool WaitUntilEntered(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(FLock);
        return FChanged.wait_for(lock, timeout, [this] { return FEntered; });
    }
    void Open() {
        {
            const std::lock_guard<std::mutex> guard(FLock);
            FOpen = true;
        }
        FChanged.notify_all();
    }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    bool FEntered = false;
    bool FOpen = false;
};

// An H camera (model SIGTEST, system V2.1.0.9) that serves its own firmware catalogue and
// package under /FM/ and holds the reply to the upload until the gate opens.
class TCameraAndServer {
public:
    TCameraAndServer() {
        std::string firmware = "HSYS";
        firmware.append(4096, '\x5A');
        const std::string zipPath = ScratchPath("sig-sys") + ".zip";
        EXPECT_TRUE(BuildZip(zipPath, {{"sig-sys.bin", firmware}}));
        const std::string package = ReadWholeFile(zipPath);
        ::unlink(zipPath.c_str());
        torvane::TMd5 md5;
        md5.Update(package);
        const std::string digest = torvane::DigestToHex(md5.Final());

        FServer.Handle("/oem.txt", THttpReply::Ok("ABC", "text/plain"));
        FServer.Handle("/appver.js", THttpReply::Ok("var app_model=\"SIGTEST\";\r\n"));
        FServer.Handle("/get_status.cgi", THttpReply::Ok("var sys_ver=\"V2.1.0.9\";\r\n"));
        FServer.Handle("/FM/system/firmware.txt",
                       THttpReply::Ok("[SIGTEST]\r\nSysVer=V2.1.0.10\r\nSysFile=sig-sys.zip\r\n"
                                      "MD5=" + digest + "\r\nNO=\r\n",
                                      "text/plain"));
        FServer.Handle("/FM/system/sig-sys.zip", THttpReply::Ok(package, "application/zip"));
        FServer.Handle(UploadPath, [this](const TRecordedHttpRequest&) {
            Upload.Wait();
            return THttpReply::Ok("<html>upgrade ok</html>");
        });
    }
    ~TCameraAndServer() { Upload.Open(); }

    [[nodiscard]] std::vector<std::string> UpgradeArgs() const {
        return {TORVANE_CLI_PATH, "upgrade",  "--series",   "H",
                "--ip",           "127.0.0.1", "--port",    std::to_string(FServer.Port()),
                "--firmware",     "system",    "--server",  FServer.Url("/FM/")};
    }
    // The uploads that came whole.
    [[nodiscard]] int CompleteUploads() const {
        int n = 0;
        for (const TRecordedHttpRequest& r : FServer.Requests()) {
            n += r.Path == UploadPath && r.Complete && r.Body.find("HSYS") != std::string::npos;
        }
        return n;
    }

    TGate Upload;
    TLoopbackHttpServer FServer;
};

// One torvane-cli run with a temporary folder of its own.
struct TCliRun {
    explicit TCliRun(const std::vector<std::string>& argv)
        : Folder("signals-run"), Packs(Folder.Path() + "/torvane-" + std::to_string(::getuid()) +
                                       "/torvane-cli"),
          Process(argv, {"TMPDIR=" + Folder.Path()}) {}

    TE2eRunFolder Folder;
    std::string Packs; // the language folder
    TE2eProcess Process;
};

// Reads the run's output until a line ending with text comes; false at the deadline or
// the end of the output.
bool ReadUntil(TE2eProcess& process, const std::string& text, TE2eClock::time_point deadline) {
    while (const auto line = process.ReadLine(deadline)) {
        if (EndsWith(*line, text)) {
            return true;
        }
    }
    return false;
}

TEST(SignalsE2E, AnInterruptDeletesTheLanguagePacksAndEndsByTheSignal) {
    for (const int sig : {SIGINT, SIGTERM}) {
        // A camera that takes the login request and never answers: the run waits there.
        TLoopbackHttpServer camera;
        camera.Handle("/oem.txt", THttpReply::NeverAnswer(60000));
        TCliRun run({TORVANE_CLI_PATH, "upgrade", "--series", "H", "--ip", "127.0.0.1",
                     "--port", std::to_string(camera.Port())});
        ASSERT_TRUE(camera.WaitForRequests(1, 30000)) << run.Process.ReadRest(E2eDeadline(1s));
        ASSERT_TRUE(FolderExists(run.Packs)) << "the packs are written before the run starts";

        // The signal by which the program wakes its own signal thread, sent from outside:
        // passed over, so only the quit signal ends the run.
        run.Process.Signal(SIGUSR1);
        run.Process.Signal(sig);
        const std::string rest = run.Process.ReadRest(E2eDeadline(30s));
        (void)run.Process.Wait(E2eDeadline(30s));
        EXPECT_EQ(run.Process.EndSignal(), sig) << rest;
        EXPECT_FALSE(FolderExists(run.Packs)) << "signal " << sig << " left the packs behind";
    }
}

TEST(SignalsE2E, AnUploadUnderWayIsFinishedBeforeTheProgramEnds) {
    const std::string notice = EnglishText("IDS_ENDAFTERUPLOAD");
    const std::string uploaded = EnglishText("IDS_UPGRADED");
    ASSERT_FALSE(notice.empty());
    ASSERT_FALSE(uploaded.empty());

    TCameraAndServer camera;
    TCliRun run(camera.UpgradeArgs());
    ASSERT_TRUE(camera.Upload.WaitUntilEntered(60s)) << run.Process.ReadRest(E2eDeadline(1s));
    ASSERT_TRUE(FolderExists(run.Packs));

    // The whole firmware reached the camera, whose answer is still to come.
    run.Process.Signal(SIGINT);
    ASSERT_TRUE(ReadUntil(run.Process, notice, E2eDeadline(30s)))
        << "no word that the upload is finished first:\n" << run.Process.Output();
    EXPECT_TRUE(FolderExists(run.Packs)) << "nothing is cleaned up while the upload runs";
    camera.Upload.Open();

    EXPECT_TRUE(ReadUntil(run.Process, uploaded, E2eDeadline(30s)))
        << "the upload's outcome is logged before the end:\n" << run.Process.Output();
    const std::string rest = run.Process.ReadRest(E2eDeadline(30s));
    (void)run.Process.Wait(E2eDeadline(30s));
    EXPECT_EQ(run.Process.EndSignal(), SIGINT) << run.Process.Output();
    EXPECT_EQ(camera.CompleteUploads(), 1);
    EXPECT_FALSE(FolderExists(run.Packs));
    // The run ends after the upload: it does not wait for the camera's reboot.
    EXPECT_EQ(rest.find("IP Cam is Working"), std::string::npos) << rest;
}

TEST(SignalsE2E, ASecondSignalEndsAtOnceEvenDuringAnUpload) {
    const std::string notice = EnglishText("IDS_ENDAFTERUPLOAD");
    const std::string uploaded = EnglishText("IDS_UPGRADED");
    ASSERT_FALSE(notice.empty());

    TCameraAndServer camera;
    TCliRun run(camera.UpgradeArgs());
    ASSERT_TRUE(camera.Upload.WaitUntilEntered(60s)) << run.Process.ReadRest(E2eDeadline(1s));
    run.Process.Signal(SIGTERM);
    ASSERT_TRUE(ReadUntil(run.Process, notice, E2eDeadline(30s))) << run.Process.Output();

    // The upload's reply is never let go: only the second signal can end the run.
    run.Process.Signal(SIGINT);
    const std::string rest = run.Process.ReadRest(E2eDeadline(30s));
    (void)run.Process.Wait(E2eDeadline(30s));
    EXPECT_EQ(run.Process.EndSignal(), SIGINT) << run.Process.Output();
    EXPECT_EQ(rest.find(uploaded), std::string::npos) << rest;
    EXPECT_FALSE(FolderExists(run.Packs)) << "the packs go at once too";
}

} // namespace
