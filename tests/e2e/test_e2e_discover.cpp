// torvane-cli discover against simulated cameras of the four families: F (MO_I), H (the
// 1010 protocol), E (CTP) and T (the DH search), every probe to 127.0.0.1.

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

using TClock = std::chrono::steady_clock;

// A child process whose standard output and error come to one pipe.
class TChild {
public:
    explicit TChild(std::vector<std::string> argv) {
        int fds[2];
        if (::pipe(fds) != 0) {
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        std::vector<char*> args;
        for (auto& a : argv) {
            args.push_back(a.data());
        }
        args.push_back(nullptr);
        const int rc = ::posix_spawn(&FPid, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        FOut = fds[0];
        if (rc != 0) {
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
        ::close(FOut);
    }

    // Reads until the output holds text or ends, or the deadline passes (a wait for the
    // child to say something, not a fixed pause). True when text was seen.
    bool ReadUntil(const std::string& text, TClock::time_point deadline) {
        while (FAll.find(text) == std::string::npos) {
            if (!Fill(deadline)) {
                return false;
            }
        }
        return true;
    }
    std::string ReadAll(TClock::time_point deadline) {
        while (Fill(deadline)) {
        }
        return FAll;
    }
    const std::string& Output() const { return FAll; }
    int Wait() {
        int status = 0;
        while (::waitpid(FPid, &status, 0) < 0 && errno == EINTR) {
        }
        FPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    bool Fill(TClock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - TClock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd p{FOut, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        char buffer[4096];
        const ssize_t n = ::read(FOut, buffer, sizeof buffer);
        if (n <= 0) {
            return false;
        }
        FAll.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t FPid = -1;
    int FOut = -1;
    std::string FAll;
};

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> out;
    std::string piece;
    std::istringstream in(text);
    while (std::getline(in, piece, separator)) {
        out.push_back(piece);
    }
    return out;
}

TEST(DiscoverE2E, ListsOneCameraOfEachFamily) {
    TChild camsim({TORVANE_CAMSIM_PATH, "--no-server",
                   "--camera", "series=F,ip=127.0.0.30,port=8081",
                   "--camera", "series=H,ip=127.0.0.31,port=8082",
                   "--camera", "series=E,ip=127.0.0.32,port=8083",
                   "--camera", "series=T,ip=127.0.0.33,port=8084",
                   "--exit-after-ms", "60000"});
    ASSERT_TRUE(camsim.ReadUntil("ready\n", TClock::now() + std::chrono::seconds(20)))
        << camsim.Output();
    if (camsim.Output().find("will not answer the search") != std::string::npos) {
        GTEST_SKIP() << "a search port of the simulator is taken here:\n" << camsim.Output();
    }

    TChild cli({TORVANE_CLI_PATH, "discover", "--broadcast", "127.0.0.1", "--seconds", "2"});
    const std::string out = cli.ReadAll(TClock::now() + std::chrono::seconds(30));
    ASSERT_EQ(cli.Wait(), 0) << out;

    // series code, name, IP address, port, series index, identity
    std::map<std::string, std::vector<std::string>> byAddress;
    for (const std::string& line : Split(out, '\n')) {
        const std::vector<std::string> columns = Split(line, '\t');
        ASSERT_EQ(columns.size(), 6u) << line;
        byAddress[columns[2]] = columns;
    }
    const std::vector<std::vector<std::string>> expected = {
        {"F", "camsim-F", "127.0.0.30", "8081", "1"},
        {"H", "camsim-H", "127.0.0.31", "8082", "2"},
        {"E", "camsim-E", "127.0.0.32", "8083", "0"},
        {"T", "camsim", "127.0.0.33", "8084", "3"},
    };
    for (const auto& camera : expected) {
        const auto it = byAddress.find(camera[2]);
        ASSERT_NE(it, byAddress.end()) << camera[2] << " not listed:\n" << out;
        for (std::size_t i = 0; i < camera.size(); ++i) {
            EXPECT_EQ(it->second[i], camera[i]) << out;
        }
        EXPECT_FALSE(it->second[5].empty());
    }
    // Listed in the session's order: ascending by IP address.
    std::vector<std::string> order;
    for (const std::string& line : Split(out, '\n')) {
        const std::string ip = Split(line, '\t')[2];
        if (ip.rfind("127.0.0.3", 0) == 0) {
            order.push_back(ip);
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"127.0.0.30", "127.0.0.31", "127.0.0.32",
                                               "127.0.0.33"}));

    // The JSON list carries whole records; the H camera's DDNS message reached its entry.
    TChild json({TORVANE_CLI_PATH, "discover", "--broadcast", "127.0.0.1", "--seconds", "1",
                 "--json"});
    const std::string records = json.ReadAll(TClock::now() + std::chrono::seconds(30));
    ASSERT_EQ(json.Wait(), 0) << records;
    EXPECT_EQ(records.substr(0, 2), "[\n") << records;
    EXPECT_NE(records.find("\"szIPAddr\":\"127.0.0.31\""), std::string::npos) << records;
    EXPECT_NE(records.find("\"szDdns\":\"ddns.camsim.test\""), std::string::npos) << records;
    EXPECT_NE(records.find("\"nType\":9"), std::string::npos) << records;
}

TEST(DiscoverE2E, RefusesABadBroadcastAddress) {
    TChild cli({TORVANE_CLI_PATH, "discover", "--broadcast", "127.0.0.256"});
    const std::string out = cli.ReadAll(TClock::now() + std::chrono::seconds(10));
    EXPECT_EQ(cli.Wait(), 2) << out;
    EXPECT_NE(out.find("--broadcast"), std::string::npos) << out;
}

} // namespace
