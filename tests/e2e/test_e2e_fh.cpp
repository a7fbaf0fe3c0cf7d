// torvane-cli upgrade against simulated F and H cameras: the whole run (login, version,
// catalogue, download, digest, unzip, multipart upload, reboot and polls) through the real
// programs, checked by the log lines printed and the exit status.

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

// A child process with its standard output on a pipe (standard error is the test's).
class TChild {
public:
    TChild(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv) {
        int fds[2];
        if (::pipe(fds) != 0) {
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        std::vector<char*> args;
        for (const auto& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        // The inherited environment, less the variables given anew.
        std::vector<std::string> envText;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry(*e);
            const std::string name = entry.substr(0, entry.find('=') + 1);
            bool overridden = false;
            for (const auto& x : extraEnv) {
                overridden = overridden || x.compare(0, name.size(), name) == 0;
            }
            if (!overridden) {
                envText.push_back(entry);
            }
        }
        envText.insert(envText.end(), extraEnv.begin(), extraEnv.end());
        std::vector<char*> env;
        for (auto& e : envText) {
            env.push_back(e.data());
        }
        env.push_back(nullptr);
        const int rc = ::posix_spawn(&FPid, args[0], &actions, nullptr, args.data(), env.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        FOut = fds[0];
        if (rc != 0) {
            ::close(FOut);
            FOut = -1;
            FPid = -1;
            throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
        }
    }
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;
    ~TChild() {
        if (FPid > 0) {
            ::kill(FPid, SIGKILL);
            (void)Wait();
        }
        if (FOut >= 0) {
            ::close(FOut);
        }
    }

    // Reads a line (without its LF); false at the end of output or when the deadline
    // (real time: this waits for the child to say something, not a fixed pause) passes.
    bool ReadLine(std::string& line, std::chrono::steady_clock::time_point deadline) {
        for (;;) {
            const auto lf = FBuffer.find('\n');
            if (lf != std::string::npos) {
                line = FBuffer.substr(0, lf);
                FBuffer.erase(0, lf + 1);
                return true;
            }
            if (!Fill(deadline)) {
                return false;
            }
        }
    }
    // Everything up to the end of output (or the deadline).
    std::string ReadAll(std::chrono::steady_clock::time_point deadline) {
        while (Fill(deadline)) {
        }
        std::string all;
        all.swap(FBuffer);
        return all;
    }
    void Terminate() {
        if (FPid > 0) {
            ::kill(FPid, SIGTERM);
        }
    }
    // The exit status (-1 when killed by a signal).
    int Wait() {
        int status = 0;
        while (::waitpid(FPid, &status, 0) < 0 && errno == EINTR) {
        }
        FPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Kill() {
        if (FPid > 0) {
            ::kill(FPid, SIGKILL);
        }
    }

private:
    bool Fill(std::chrono::steady_clock::time_point deadline) {
        if (FOut < 0) {
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            return false;
        }
        pollfd p{FOut, POLLIN, 0};
        const int n = ::poll(&p, 1, static_cast<int>(left));
        if (n <= 0) {
            return n < 0 && errno == EINTR;
        }
        char buffer[4096];
        const ssize_t got = ::read(FOut, buffer, sizeof(buffer));
        if (got <= 0) {
            return got < 0 && errno == EINTR;
        }
        FBuffer.append(buffer, static_cast<std::size_t>(got));
        return true;
    }

    pid_t FPid = -1;
    int FOut = -1;
    std::string FBuffer;
};

std::chrono::steady_clock::time_point In(int seconds) {
    return std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
}

// One camsim with the given cameras and its firmware server, running for the test.
class TCamsim {
public:
    explicit TCamsim(const std::vector<std::string>& cameras) {
        std::vector<std::string> argv{
            TORVANE_CAMSIM_PATH, "--server", "127.0.10.100:0", "--reboot-ms", "5",
            "--exit-after-ms",   "300000"};
        for (const auto& c : cameras) {
            argv.push_back("--camera");
            argv.push_back(c);
        }
        FChild = std::make_unique<TChild>(argv, std::vector<std::string>{});
        const std::regex cameraLine(R"(^camera [FH] (127\.[0-9.]+):([0-9]+) )");
        const std::regex serverLine(R"(^server (http://\S+/FM/)$)");
        std::string line;
        const auto deadline = In(30);
        while (FChild->ReadLine(line, deadline)) {
            FStartOutput += line + "\n";
            std::smatch m;
            if (std::regex_search(line, m, cameraLine)) {
                FPorts[m[1]] = m[2];
            } else if (std::regex_search(line, m, serverLine)) {
                FServer = m[1];
            } else if (line == "ready") {
                FReady = true;
                break;
            }
        }
        FDrain = std::thread([this] {
            const std::string rest = FChild->ReadAll(In(600));
            std::lock_guard<std::mutex> g(FLock);
            FLaterOutput += rest;
        });
    }
    ~TCamsim() {
        FChild->Terminate();
        if (FDrain.joinable()) {
            FDrain.join();
        }
        (void)FChild->Wait();
    }

    [[nodiscard]] bool Ready() const { return FReady && !FServer.empty(); }
    [[nodiscard]] const std::string& StartOutput() const { return FStartOutput; }
    [[nodiscard]] const std::string& Server() const { return FServer; }
    [[nodiscard]] std::string Port(const std::string& ip) const {
        const auto it = FPorts.find(ip);
        return it == FPorts.end() ? std::string() : it->second;
    }
    // Stops camsim and gives what it printed after "ready".
    std::string StopAndOutput() {
        FChild->Terminate();
        if (FDrain.joinable()) {
            FDrain.join();
        }
        std::lock_guard<std::mutex> g(FLock);
        return FLaterOutput;
    }

private:
    std::unique_ptr<TChild> FChild;
    std::thread FDrain;
    std::mutex FLock;
    std::map<std::string, std::string> FPorts;
    std::string FServer;
    std::string FStartOutput;
    std::string FLaterOutput;
    bool FReady = false;
};

struct TRun {
    int ExitStatus = -1;
    std::vector<std::string> Lines; // the log texts, time stamps taken off
    std::string Output;
};

// A private temporary folder per run, so runs side by side never share downloads.
std::string RunFolder(const std::string& name) {
    const char* base = std::getenv("TMPDIR");
    std::string folder = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                         "/e2e_fh_" + name + "_" + std::to_string(::getpid());
    ::mkdir(folder.c_str(), 0700);
    return folder;
}

TRun RunCli(const TCamsim& sim, const std::string& series, const std::string& ip,
            const std::vector<std::string>& more, const std::string& runName) {
    std::vector<std::string> argv{TORVANE_CLI_PATH, "upgrade",   "--series", series,
                                  "--ip",           ip,          "--port",   sim.Port(ip),
                                  "--server",       sim.Server()};
    argv.insert(argv.end(), more.begin(), more.end());
    const std::string folder = RunFolder(runName);
    TRun run;
    {
        TChild cli(argv, {"TORVANE_CLI_TIME_SCALE=0.001", "TMPDIR=" + folder});
        run.Output = cli.ReadAll(In(120));
        cli.Kill(); // only if it still runs after the bound above
        run.ExitStatus = cli.Wait();
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
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

std::vector<std::string> EnglishRun(const std::string& current, const std::string& offered) {
    return {"Device connected normally",
            "The version of present device rom is :" + current,
            "The version of latest  device rom is :" + offered,
            "Downloading rom for upgrading...",
            "Begin to upgrade device''s rom, please hold the connection of the device normally.",
            "Successfully upgrade ROM, it is going to reboot the device, please wait.....",
            "IP Cam is Working!"};
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
    EXPECT_EQ(f.Lines, Joined(EnglishRun("1.2.3.4", "1.2.3.5"), EnglishRun("2.0.1.3", "2.0.1.4")))
        << f.Output;

    const TRun h = RunCli(sim, "H", "127.0.10.2", {"--lang", "en"}, "h");
    EXPECT_EQ(h.ExitStatus, 0) << h.Output;
    EXPECT_EQ(h.Lines,
              Joined(EnglishRun("V2.1.0.9", "V2.1.0.10"), EnglishRun("3.1.0.5", "3.1.0.6")))
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
    ASSERT_EQ(h.Lines.size(), 14u) << h.Output;
    EXPECT_EQ(h.Lines[0], "设备连接正常");
    EXPECT_EQ(h.Lines[1], "当前设备固件版本为:V2.1.0.9");
    EXPECT_EQ(h.Lines[6], "网络摄像机已进入工作状态！");
    EXPECT_EQ(h.Lines[8], "当前设备固件版本为:3.1.0.5");
    EXPECT_EQ(h.Lines[13], "网络摄像机已进入工作状态！");
}

TEST(E2eFH, FaultsEndTheRunWithTheirLine) {
    TCamsim sim({"series=F,ip=127.0.10.4,port=0,password=135790,fault=refuse-login",
                 "series=H,ip=127.0.10.5,port=0,password=135790,fault=upload-500",
                 "series=F,ip=127.0.10.6,port=0,password=135790,sys=1.4.0.1,fault=bad-md5:sys"});
    ASSERT_TRUE(sim.Ready()) << sim.StartOutput();

    const TRun refused = RunCli(sim, "F", "127.0.10.4", {"--firmware", "system"}, "refused");
    EXPECT_EQ(refused.ExitStatus, 1) << refused.Output;
    EXPECT_EQ(refused.Lines, std::vector<std::string>{"Login name or password is wrong!"})
        << refused.Output;

    const TRun rejected = RunCli(sim, "H", "127.0.10.5", {"--firmware", "system"}, "rejected");
    EXPECT_EQ(rejected.ExitStatus, 1) << rejected.Output;
    ASSERT_FALSE(rejected.Lines.empty()) << rejected.Output;
    EXPECT_TRUE(
        std::regex_match(rejected.Lines.back(),
                         std::regex(R"(Upgrade failed:HTTP/1\.[01] 500 Internal Server Error)")))
        << rejected.Output;
    EXPECT_EQ(rejected.Lines.size(), 6u) << rejected.Output; // nothing after the failure

    const TRun digest = RunCli(sim, "F", "127.0.10.6", {"--firmware", "system"}, "digest");
    EXPECT_EQ(digest.ExitStatus, 1) << digest.Output;
    ASSERT_FALSE(digest.Lines.empty()) << digest.Output;
    EXPECT_EQ(digest.Lines.back(), "Update check failed!") << digest.Output;
}

} // namespace
