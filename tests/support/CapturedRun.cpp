#include "support/CapturedRun.h"

#include "support/TestSupport.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace torvane::test {

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> Environment(const std::vector<std::string>& extraEnv) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& extra : extraEnv) {
            replaced = replaced || extra.substr(0, extra.find('=')) == name;
        }
        if (!replaced) {
            env.push_back(entry);
        }
    }
    for (const std::string& extra : extraEnv) {
        if (extra.find('=') != std::string::npos) {
            env.push_back(extra);
        }
    }
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& t : texts) {
        out.push_back(t.data());
    }
    out.push_back(nullptr);
    return out;
}

// Waits for the child up to the deadline; kills it once the deadline has passed.
int WaitFor(pid_t pid, std::chrono::milliseconds timeout) {
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        int rc = 0;
        do {
            rc = ::poll(&p, 1, static_cast<int>(timeout.count()));
        } while (rc < 0 && errno == EINTR);
        ::close(pidfd);
        if (rc == 0) {
            ::kill(pid, SIGKILL);
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

std::vector<std::string> TCapturedRun::ErrLines() const {
    return Lines(Err);
}

std::vector<std::string> TCapturedRun::OutLines() const {
    return Lines(Out);
}

TCapturedRun RunCaptured(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnv, const std::string& stdinText,
                         std::chrono::milliseconds timeout) {
    const std::string folder = ScratchPath("captured");
    std::filesystem::create_directories(folder);
    const std::string in = folder + "/in", out = folder + "/out", err = folder + "/err";
    if (!WriteWholeFile(in, stdinText)) {
        throw std::runtime_error("cannot write " + in);
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<std::string> args = argv;
    std::vector<std::string> env = Environment(extraEnv);
    std::vector<char*> argp = Pointers(args);
    std::vector<char*> envp = Pointers(env);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        throw std::runtime_error("cannot start " + argv.at(0) + ": " + std::strerror(rc));
    }

    TCapturedRun run;
    run.ExitCode = WaitFor(pid, timeout);
    run.Out = ReadWholeFile(out);
    run.Err = ReadWholeFile(err);
    std::filesystem::remove_all(folder);
    return run;
}

} // namespace torvane::test
