// torvane-cli upgrade --series T against simulated T cameras: system then UI firmware, the
// camera taking the files on port 8600 of its address and coming back with the new
// versions; and a refused account.

#include "i18n/StrRes.h"
#include "i18n/StrResource.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace torvane {
namespace {

// A child process with its standard output (and error) on a pipe; killed and reaped when
// the object goes.
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
            env.emplace_back(*e);
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
            ::close(FOut);
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

    // The next output line, waiting up to timeoutMs for it; none at the end of the output.
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
    // Every line up to the end of the output (bounded by timeoutMs).
    std::vector<std::string> ReadAll(int timeoutMs) {
        std::vector<std::string> lines;
        while (auto line = ReadLine(timeoutMs)) {
            lines.push_back(*line);
        }
        return lines;
    }
    void Terminate() { ::kill(FPid, SIGTERM); }
    // The exit status (-1 when killed by a signal).
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

struct TCliRun {
    int ExitCode = -1;
    std::vector<std::string> Lines;
};

class TE2ETest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Packs = new TfrmStrRes("e2e_t_test"); }
    static void TearDownTestSuite() {
        delete Packs;
        Packs = nullptr;
    }

    // Starts camsim with the cameras and waits for "ready"; FServer is its firmware URL.
    void StartCamsim(const std::vector<std::string>& cameras) {
        std::vector<std::string> argv{TORVANE_CAMSIM_PATH, "--server", "127.0.0.40:0",
                                      "--time-scale", "0.001"};
        for (const auto& camera : cameras) {
            argv.push_back("--camera");
            argv.push_back(camera);
        }
        FCamsim = std::make_unique<TChild>(argv);
        while (auto line = FCamsim->ReadLine(ReadyTimeoutMs)) {
            if (line->rfind("server ", 0) == 0) {
                FServer = line->substr(7);
            }
            if (*line == "ready") {
                return;
            }
        }
        FAIL() << "camsim did not get ready:\n" << FCamsim->AllOutput();
    }

    TCliRun RunCli(const std::string& ip, const std::string& password) {
        TChild cli({TORVANE_CLI_PATH, "upgrade", "--series", "T", "--ip", ip, "--port", "8081",
                    "--user", "admin", "--password", password, "--server", FServer, "--lang", "en"},
                   {"TORVANE_CLI_TIME_SCALE=0.001"});
        TCliRun run;
        run.Lines = cli.ReadAll(RunTimeoutMs);
        run.ExitCode = cli.Wait();
        return run;
    }

    // camsim's output after it stopped.
    std::string StopCamsim() {
        FCamsim->Terminate();
        (void)FCamsim->ReadAll(ReadyTimeoutMs);
        (void)FCamsim->Wait();
        return FCamsim->AllOutput();
    }

    static bool EndsWith(const std::string& line, const std::string& text) {
        return !text.empty() && line.size() >= text.size() &&
               line.compare(line.size() - text.size(), text.size(), text) == 0;
    }
    static int Count(const std::vector<std::string>& lines, const std::string& key) {
        int n = 0;
        for (const auto& line : lines) {
            n += EndsWith(line, GetStrRes(key)) ? 1 : 0;
        }
        return n;
    }
    static std::string Join(const std::vector<std::string>& lines) {
        std::string all;
        for (const auto& line : lines) {
            all += line + "\n";
        }
        return all;
    }

    static TfrmStrRes* Packs;
    std::unique_ptr<TChild> FCamsim;
    std::string FServer;
};

TfrmStrRes* TE2ETest::Packs = nullptr;

TEST_F(TE2ETest, SystemThenUiFirmwareOnBothSidesOfTheUploadPortVersion) {
    // 127.0.0.41 runs a system version that takes firmware on port 8600 only; 127.0.0.42 an
    // older one, which the client sends to the address it is given (port 8600 as well).
    StartCamsim({"series=T,ip=127.0.0.41,port=8081,password=135790,oem=TVN",
                 "series=T,ip=127.0.0.42,port=8081,password=135790,oem=TVN,sys=48.1.9"});
    ASSERT_FALSE(FServer.empty());
    for (const std::string ip : {"127.0.0.41", "127.0.0.42"}) {
        const TCliRun run = RunCli(ip, "135790");
        const std::string log = Join(run.Lines);
        EXPECT_EQ(run.ExitCode, 0) << log;
        EXPECT_EQ(Count(run.Lines, "IDS_UPGRADED"), 2) << log;
        EXPECT_EQ(Count(run.Lines, "IDS_IPCWORKING"), 2) << log;
        ASSERT_FALSE(run.Lines.empty());
        EXPECT_TRUE(EndsWith(run.Lines.back(), GetStrRes("IDS_IPCWORKING"))) << log;
    }
    const std::string camsim = StopCamsim();
    EXPECT_NE(camsim.find("camera T 127.0.0.41:8081: received system firmware 48.2.0.131"),
              std::string::npos) << camsim;
    EXPECT_NE(camsim.find("camera T 127.0.0.41:8081: received ui firmware 3.1.0.6"),
              std::string::npos) << camsim;
    EXPECT_NE(camsim.find("camera T 127.0.0.42:8081: received system firmware 48.1.10"),
              std::string::npos) << camsim;
    EXPECT_NE(camsim.find("127.0.0.42:8081: up again, system 48.1.10 ui 3.1.0.6"),
              std::string::npos) << camsim;
}

TEST_F(TE2ETest, RefusedAccountEndsWithPasswordError) {
    StartCamsim({"series=T,ip=127.0.0.43,port=8081,password=135790"});
    const TCliRun run = RunCli("127.0.0.43", "wrong");
    const std::string log = Join(run.Lines);
    EXPECT_EQ(run.ExitCode, 1) << log;
    EXPECT_EQ(Count(run.Lines, "IDS_PASSWORDERROR"), 2) << log; // the system run and the UI run
    ASSERT_FALSE(run.Lines.empty());
    EXPECT_TRUE(EndsWith(run.Lines.back(), GetStrRes("IDS_PASSWORDERROR"))) << log;
    const std::string camsim = StopCamsim();
    EXPECT_EQ(camsim.find("received"), std::string::npos) << camsim;
}

} // namespace
} // namespace torvane
