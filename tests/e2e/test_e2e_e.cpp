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

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace torvane {
namespace {

// A child process with its standard output and error on one pipe; killed and reaped when
// the object goes. Variables of extraEnv replace inherited ones of the same name.
class TChild {
public:
    TChild(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {}) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        std::vector<char*> args;
        for (const auto& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry(*e);
            bool replaced = false;
            for (const auto& extra : extraEnv) {
                const auto name = extra.substr(0, extra.find('=') + 1);
                replaced = replaced || entry.rfind(name, 0) == 0;
            }
            if (!replaced) {
                env.push_back(entry);
            }
        }
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        std::vector<char*> envp;
        for (auto& e : env) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        const int rc = ::posix_spawn(&FPid, args[0], &actions, nullptr, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        FOut = fds[0];
        if (rc != 0) {
            FPid = -1;
            throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
        }
    }
    ~TChild() {
        if (FPid > 0) {
            ::kill(FPid, SIGKILL);
            (void)Wait();
        }
        if (FOut >= 0) {
            ::close(FOut);
        }
    }
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;

    // The next output line, waiting up to timeoutMs; none at the end of the output.
    std::optional<std::string> ReadLine(int timeoutMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto nl = FBuffer.find('\n');
            if (nl != std::string::npos) {
                std::string line = FBuffer.substr(0, nl);
                FBuffer.erase(0, nl + 1);
                FAll += line + "\n";
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (FEof || left.count() <= 0) {
                return std::nullopt;
            }
            pollfd p{FOut, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                continue;
            }
            char chunk[4096];
            const ssize_t n = ::read(FOut, chunk, sizeof chunk);
            if (n <= 0) {
                FEof = true;
                if (!FBuffer.empty()) {
                    FBuffer += '\n';
                }
            } else {
                FBuffer.append(chunk, static_cast<std::size_t>(n));
            }
        }
    }
    std::vector<std::string> ReadAll(int timeoutMs) {
        std::vector<std::string> lines;
        while (auto line = ReadLine(timeoutMs)) {
            lines.push_back(*line);
        }
        return lines;
    }
    void Terminate() { ::kill(FPid, SIGTERM); }
    int Wait() {
        int status = 0;
        while (::waitpid(FPid, &status, 0) < 0 && errno == EINTR) {
        }
        FPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    [[nodiscard]] const std::string& AllOutput() const { return FAll; }

private:
    pid_t FPid = -1;
    int FOut = -1;
    std::string FBuffer;
    std::string FAll;
    bool FEof = false;
};

constexpr int ReadyTimeoutMs = 20000;
constexpr int RunTimeoutMs = 120000;
constexpr const char* SearchComplaint = "CTP search 127.0.0.1:7999";

struct TCliRun {
    int ExitCode = -1;
    std::vector<std::string> Lines;
    std::string Log;
};

bool EndsWith(const std::string& line, const std::string& text) {
    return !text.empty() && line.size() >= text.size() &&
           line.compare(line.size() - text.size(), text.size(), text) == 0;
}

int Count(const std::vector<std::string>& lines, const std::string& key) {
    int n = 0;
    for (const auto& line : lines) {
        n += EndsWith(line, GetStrRes(key)) ? 1 : 0;
    }
    return n;
}

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
        // The CLI's own settings folder, with the search pointed at loopback.
        FConfig = platform::TempFolder() + "e2e-e-config-" + std::to_string(::getpid()) + "/";
        ::mkdir(FConfig.c_str(), 0700);
        ::mkdir((FConfig + "torvane-cli").c_str(), 0700);
        std::ofstream(FConfig + "torvane-cli/option.ini")
            << "[Global]\r\nbroadcast=127.0.0.1\r\n";
    }

    // Starts camsim with the cameras and waits for "ready"; false (test skipped) when the
    // search port is taken by something else on this machine.
    bool StartCamsim(const std::vector<std::string>& cameras) {
        std::vector<std::string> argv{TORVANE_CAMSIM_PATH, "--server", "127.0.0.29:0",
                                      "--time-scale", "0.001"};
        for (const auto& camera : cameras) {
            argv.push_back("--camera");
            argv.push_back(camera);
        }
        FCamsim = std::make_unique<TChild>(argv);
        while (auto line = FCamsim->ReadLine(ReadyTimeoutMs)) {
            if (line->find(SearchComplaint) != std::string::npos) {
                return false;
            }
            if (line->rfind("server ", 0) == 0) {
                FServer = line->substr(7);
            }
            if (*line == "ready") {
                return !FServer.empty();
            }
        }
        ADD_FAILURE() << "camsim did not get ready:\n" << FCamsim->AllOutput();
        return false;
    }

    TCliRun RunCli(const std::string& ip) {
        TChild cli({TORVANE_CLI_PATH, "upgrade", "--series", "E", "--ip", ip, "--port", "8120",
                    "--user", "admin", "--password", "secret", "--server", FServer, "--lang", "en"},
                   {"TORVANE_CLI_TIME_SCALE=0.001", "XDG_CONFIG_HOME=" + FConfig});
        TCliRun run;
        run.Lines = cli.ReadAll(RunTimeoutMs);
        run.ExitCode = cli.Wait();
        for (const auto& line : run.Lines) {
            run.Log += line + "\n";
        }
        return run;
    }

    std::string StopCamsim() {
        FCamsim->Terminate();
        (void)FCamsim->ReadAll(ReadyTimeoutMs);
        (void)FCamsim->Wait();
        return FCamsim->AllOutput();
    }

    static TfrmStrRes* Packs;
    std::unique_ptr<TChild> FCamsim;
    std::string FServer;
    std::string FConfig;
};

TfrmStrRes* E2EESeries::Packs = nullptr;

TEST_F(E2EESeries, SystemThenUiFirmwareOverCtp) {
    if (!StartCamsim({"series=E,ip=127.0.0.20,port=8120,password=secret,oem=EVN"})) {
        GTEST_SKIP() << "127.0.0.1:7999 is taken here:\n" << FCamsim->AllOutput();
    }
    const TCliRun run = RunCli("127.0.0.20");
    EXPECT_EQ(run.ExitCode, 0) << run.Log;
    // The system version as the search gives it: the middle word and its blank.
    EXPECT_NE(run.Log.find(GetStrRes("IDS_CURRVERSION") + "1.3.2.8 \n"), std::string::npos) << run.Log;
    EXPECT_NE(run.Log.find(GetStrRes("IDS_HIGHVERSION") + "1.3.3.8"), std::string::npos) << run.Log;
    EXPECT_EQ(Count(run.Lines, "IDS_UPGRADED"), 2) << run.Log;
    EXPECT_EQ(Count(run.Lines, "IDS_IPCWORKING"), 2) << run.Log;
    ASSERT_FALSE(run.Lines.empty());
    EXPECT_TRUE(EndsWith(run.Lines.back(), GetStrRes("IDS_IPCWORKING"))) << run.Log;

    const std::string camsim = StopCamsim();
    const std::string camera = "camera E 127.0.0.20:8120: ";
    EXPECT_NE(camsim.find(camera + "received system firmware 1.3.3.8"), std::string::npos) << camsim;
    EXPECT_NE(camsim.find(camera + "received ui firmware 2.4.0.7"), std::string::npos) << camsim;
    EXPECT_NE(camsim.find(camera + "up again, system 1.3.3.8 ui 2.4.0.7"), std::string::npos) << camsim;
}

TEST_F(E2EESeries, RefusedFileAndCameraThatNeverComesBack) {
    if (!StartCamsim({"series=E,ip=127.0.0.21,port=8120,password=secret,fault=upload-500:sys",
                      "series=E,ip=127.0.0.22,port=8120,password=secret,fault=no-return"})) {
        GTEST_SKIP() << "127.0.0.1:7999 is taken here:\n" << FCamsim->AllOutput();
    }
    // The camera refuses the system file: that run ends with the transfer error, the UI run
    // still goes through.
    TCliRun run = RunCli("127.0.0.21");
    EXPECT_EQ(run.ExitCode, 1) << run.Log;
    EXPECT_EQ(Count(run.Lines, "IDS_UPGRADEFILEERR"), 1) << run.Log;
    EXPECT_EQ(Count(run.Lines, "IDS_IPCWORKING"), 1) << run.Log;

    // The camera goes down after the transfer and stays down: the upload fails with an
    // empty message, and the UI run finds no camera.
    run = RunCli("127.0.0.22");
    EXPECT_EQ(run.ExitCode, 1) << run.Log;
    EXPECT_EQ(Count(run.Lines, "IDS_IPCNOTWORK"), 0) << run.Log;
    EXPECT_EQ(Count(run.Lines, "IDS_UPGRADED"), 0) << run.Log;
    ASSERT_FALSE(run.Lines.empty());
    EXPECT_TRUE(EndsWith(run.Lines.back(), GetStrRes("IDS_NOIPCCONNECT"))) << run.Log;

    const std::string camsim = StopCamsim();
    EXPECT_NE(camsim.find("camera E 127.0.0.21:8120: refused firmware.img"), std::string::npos) << camsim;
    EXPECT_NE(camsim.find("camera E 127.0.0.22:8120: down, and stays down"), std::string::npos) << camsim;
}

} // namespace
} // namespace torvane
