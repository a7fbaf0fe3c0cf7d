#include "support/E2eProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace torvane::test {

namespace {

// The drain of a ready camsim gives up after this, whatever happens: camsim runs for one
// test, and every test ends long before.
constexpr std::chrono::minutes DrainBound{10};
// How long a program that has closed its output may take to exit before it is killed.
constexpr std::chrono::seconds ExitGrace{5};
// Slices of the wait for an exit where the kernel offers no pidfd to poll.
constexpr std::chrono::milliseconds ExitPollSlice{10};

int MsLeft(TE2eClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TE2eClock::now());
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, 1 << 30));
}

// The test's environment with the variables of extraEnv replaced, then extraEnv.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& extraEnv) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const auto& extra : extraEnv) {
            replaced = replaced || extra.compare(0, name.size(), name) == 0;
        }
        if (!replaced) {
            env.push_back(entry);
        }
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    return env;
}

// A file descriptor that becomes readable when the process ends; -1 where there is none.
int OpenPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

std::string WithLineEnds(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line + "\n";
    }
    return text;
}

} // namespace

TE2eClock::time_point E2eDeadline(std::chrono::milliseconds timeout) {
    return TE2eClock::now() + timeout;
}

TE2eProcess::TE2eProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnv, TChildStderr stderrMode) {
    if (argv.empty()) {
        throw std::runtime_error("no program to start");
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    if (stderrMode == TChildStderr::Merged) {
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    }
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    std::vector<std::string> env = ChildEnvironment(extraEnv);
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
        FOut = -1;
        FPid = -1;
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
    }
}

TE2eProcess::~TE2eProcess() {
    if (FPid > 0) {
        ::kill(FPid, SIGKILL);
        int status = 0;
        while (::waitpid(FPid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (FOut >= 0) {
        ::close(FOut);
    }
}

bool TE2eProcess::Fill(TE2eClock::time_point deadline) {
    while (!FEof) {
        const int left = MsLeft(deadline);
        if (left <= 0) {
            return false;
        }
        pollfd p{FOut, POLLIN, 0};
        const int ready = ::poll(&p, 1, left);
        if (ready < 0 && errno != EINTR) {
            FEof = true;
        }
        if (ready <= 0) {
            continue;
        }
        char chunk[4096];
        const ssize_t n = ::read(FOut, chunk, sizeof chunk);
        if (n > 0) {
            FAll.append(chunk, static_cast<std::size_t>(n));
            return true;
        }
        if (n == 0 || errno != EINTR) {
            FEof = true;
        }
    }
    return false;
}

std::optional<std::string> TE2eProcess::ReadLine(TE2eClock::time_point deadline) {
    for (;;) {
        const auto lf = FAll.find('\n', FTaken);
        if (lf != std::string::npos) {
            std::string line = FAll.substr(FTaken, lf - FTaken);
            FTaken = lf + 1;
            return line;
        }
        if (!Fill(deadline)) {
            if (FEof && FTaken < FAll.size()) {
                std::string line = FAll.substr(FTaken);
                FTaken = FAll.size();
                return line;
            }
            return std::nullopt;
        }
    }
}

std::vector<std::string> TE2eProcess::ReadLines(TE2eClock::time_point deadline) {
    std::vector<std::string> lines;
    while (auto line = ReadLine(deadline)) {
        lines.push_back(std::move(*line));
    }
    return lines;
}

std::string TE2eProcess::ReadRest(TE2eClock::time_point deadline) {
    while (Fill(deadline)) {
    }
    std::string rest = FAll.substr(FTaken);
    FTaken = FAll.size();
    return rest;
}

void TE2eProcess::Terminate() {
    Signal(SIGTERM);
}

void TE2eProcess::Signal(int sig) {
    if (FPid > 0) {
        ::kill(FPid, sig);
    }
}

int TE2eProcess::Wait(TE2eClock::time_point deadline) {
    if (FPid <= 0) {
        return -1;
    }
    const int pidFd = OpenPidFd(FPid);
    int status = 0;
    pid_t got = 0;
    for (;;) {
        got = ::waitpid(FPid, &status, WNOHANG);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        const int left = MsLeft(deadline);
        if (got != 0 || left <= 0) {
            break;
        }
        if (pidFd >= 0) {
            pollfd p{pidFd, POLLIN, 0};
            (void)::poll(&p, 1, left);
        } else {
            std::this_thread::sleep_for(std::min(std::chrono::milliseconds(left), ExitPollSlice));
        }
    }
    if (pidFd >= 0) {
        ::close(pidFd);
    }
    if (got == 0) {
        // Still running at the deadline.
        ::kill(FPid, SIGKILL);
        while ((got = ::waitpid(FPid, &status, 0)) < 0 && errno == EINTR) {
        }
    }
    const bool exited = got == FPid && WIFEXITED(status);
    FEndSignal = got == FPid && WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    FPid = -1;
    return exited ? WEXITSTATUS(status) : -1;
}

TE2eRun RunToEnd(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                 const std::vector<std::string>& extraEnv, TChildStderr stderrMode) {
    const auto deadline = E2eDeadline(timeout);
    TE2eProcess child(argv, extraEnv, stderrMode);
    TE2eRun run;
    run.Lines = child.ReadLines(deadline);
    run.Output = WithLineEnds(run.Lines);
    run.ExitCode = child.Wait(std::max(deadline, E2eDeadline(ExitGrace)));
    return run;
}

bool EndsWith(const std::string& line, const std::string& text) {
    return !text.empty() && line.size() >= text.size() &&
           line.compare(line.size() - text.size(), text.size(), text) == 0;
}

int CountEndingWith(const std::vector<std::string>& lines, const std::string& text) {
    return static_cast<int>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& line) { return EndsWith(line, text); }));
}

TE2eCamsim::TE2eCamsim(const std::string& program, const std::vector<std::string>& options,
                       const std::vector<std::string>& cameras,
                       std::chrono::milliseconds readyTimeout, TChildStderr stderrMode)
    : FProcess(
          [&] {
              std::vector<std::string> argv{program};
              argv.insert(argv.end(), options.begin(), options.end());
              for (const auto& camera : cameras) {
                  argv.push_back("--camera");
                  argv.push_back(camera);
              }
              return argv;
          }(),
          {}, stderrMode) {
    const std::regex cameraLine(R"(^camera \S+ (127\.[0-9.]+):([0-9]+) )");
    const auto deadline = E2eDeadline(readyTimeout);
    while (auto line = FProcess.ReadLine(deadline)) {
        FStartOutput += *line + "\n";
        std::smatch m;
        if (std::regex_search(*line, m, cameraLine)) {
            FPorts[m[1]] = m[2];
        } else if (line->rfind("server ", 0) == 0 && *line != "server none") {
            FServer = line->substr(7);
        } else if (*line == "ready") {
            FReady = true;
            break;
        }
    }
    if (FReady) {
        FDrain = std::thread([this] { FLaterOutput = FProcess.ReadRest(E2eDeadline(DrainBound)); });
    }
}

TE2eCamsim::~TE2eCamsim() {
    Stop(std::chrono::seconds(20));
}

std::string TE2eCamsim::Port(const std::string& ip) const {
    const auto it = FPorts.find(ip);
    return it == FPorts.end() ? std::string() : it->second;
}

void TE2eCamsim::Stop(std::chrono::milliseconds timeout) {
    if (FStopped) {
        return;
    }
    FStopped = true;
    const auto deadline = E2eDeadline(timeout);
    FProcess.Terminate();
    if (FDrain.joinable()) {
        // Once camsim has ended its pipe ends, and with it the drain.
        (void)FProcess.Wait(deadline);
        FDrain.join();
    } else {
        FLaterOutput = FProcess.ReadRest(deadline);
        (void)FProcess.Wait(deadline);
    }
}

TE2eRunFolder::TE2eRunFolder(const std::string& name) {
    const char* base = std::getenv("TMPDIR");
    FPath = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + name + "_" +
            std::to_string(::getpid());
    ::mkdir(FPath.c_str(), 0700);
}

TE2eRunFolder::~TE2eRunFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
}

std::vector<std::string> EnglishUpgradeLines(const std::string& naming, const std::string& current,
                                             const std::string& offered) {
    return {naming,
            "Device connected normally",
            "The version of present device rom is :" + current,
            "The version of latest  device rom is :" + offered,
            "Downloading rom for upgrading...",
            "Begin to upgrade device''s rom, please hold the connection of the device normally.",
            "Successfully upgrade ROM, it is going to reboot the device, please wait.....",
            "IP Cam is Working!",
            "The camera now runs version " + offered + ", the new firmware."};
}

} // namespace torvane::test
