// bench_site: the site upgrade end to end. torvane-camsim serves 64 cameras on 127.0.14.x
// (F on the odd addresses, H on the even ones; the F cameras share one system and one UI
// package, the H cameras another two) plus one F camera alone, with 8 MiB firmware files
// and reboots scaled down; torvane-cli batch upgrades
//   1. the camera alone,
//   2. 32 of the cameras with --parallel 32,
//   3. the other 32 together with the first 32 again (--same-version reinstall), with
//      --parallel 64: the peak memory with 64 cameras in flight,
// each with an empty temporary folder, so every run downloads what it needs. Printed: the
// wall times and their ratio (target: the 32 take at most 1.3 times as long as the one),
// how often each package was served during each run (target: once), and the peak RSS of
// torvane-cli (target: under 100 MiB).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr const char* Net = "127.0.14.";
// The 40 s reboot wait becomes 4 s, the cameras reboot in 2 s: waits still dominate a
// camera's run, as they do on a site, while the bench stays short.
constexpr const char* Scale = "0.1";

struct TChild {
    pid_t Pid = -1;
    int Out = -1;
};

TChild Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             const std::string& outFile) {
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    std::vector<std::string> envText;
    for (char** e = environ; *e != nullptr; ++e) {
        envText.emplace_back(*e);
    }
    envText.insert(envText.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (auto& e : envText) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    TChild child;
    int pipeFds[2] = {-1, -1};
    if (outFile.empty()) {
        if (::pipe(pipeFds) != 0) {
            std::perror("pipe");
            std::exit(1);
        }
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    if (posix_spawn(&child.Pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) {
        std::perror(args[0]);
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    if (outFile.empty()) {
        ::close(pipeFds[1]);
        child.Out = pipeFds[0];
    }
    return child;
}

// Reads the child's output up to a line that begins with prefix; the lines read.
std::string ReadUntil(int fd, const std::string& prefix) {
    std::string all;
    char c = 0;
    std::string line;
    while (::read(fd, &c, 1) == 1) {
        all += c;
        if (c == '\n') {
            if (line.rfind(prefix, 0) == 0) {
                break;
            }
            line.clear();
        } else {
            line += c;
        }
    }
    return all;
}

std::string Http(const std::string& url) {
    const std::string out = "/tmp/bench_site_http_" + std::to_string(::getpid());
    const TChild curl = Spawn({"/usr/bin/curl", "-s", "--retry", "5", "--retry-connrefused", url}, {}, out);
    int status = 0;
    ::waitpid(curl.Pid, &status, 0);
    std::ifstream in(out);
    std::stringstream s;
    s << in.rdbuf();
    ::unlink(out.c_str());
    return s.str();
}

std::map<std::string, long long> Served(const std::string& server) {
    std::map<std::string, long long> counts;
    // server is the firmware base URL ".../FM/"; the counts are at "/camsim/served".
    std::istringstream in(Http(server.substr(0, server.size() - 3) + "camsim/served"));
    long long n = 0;
    std::string path;
    while (in >> n >> path) {
        counts[path] = n;
    }
    return counts;
}

struct TBatchRun {
    double Seconds = 0;
    int Status = -1;
    long MaxRssKiB = 0;
};

TBatchRun RunBatch(const std::string& server, const std::vector<std::string>& cameras,
                   const std::map<std::string, std::string>& ports, int parallel,
                   const std::string& name, bool reinstall) {
    const std::string folder = "/tmp/bench_site_" + name + "_" + std::to_string(::getpid());
    ::mkdir(folder.c_str(), 0700);
    {
        std::ofstream list(folder + "/site.csv");
        list << "series,ip,port,password\n";
        for (const std::string& camera : cameras) {
            const std::string ip = camera.substr(2);
            list << camera[0] << "," << ip << "," << ports.at(ip) << ",135790\n";
        }
    }
    std::vector<std::string> argv{TORVANE_CLI_PATH, "batch", "--cameras", folder + "/site.csv",
                                  "--server", server, "--parallel", std::to_string(parallel),
                                  "--broadcast", "127.0.0.1", "-q"};
    if (reinstall) {
        argv.insert(argv.end(), {"--same-version", "reinstall"});
    }
    const auto t0 = std::chrono::steady_clock::now();
    const TChild cli = Spawn(argv, {std::string("TORVANE_CLI_TIME_SCALE=") + Scale, "TMPDIR=" + folder},
                             folder + "/out.txt");
    int status = 0;
    rusage usage{};
    ::wait4(cli.Pid, &status, 0, &usage);
    TBatchRun run;
    run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.MaxRssKiB = usage.ru_maxrss;
    if (run.Status != 0) {
        std::ifstream in(folder + "/out.txt");
        std::cerr << name << ": torvane-cli ended with " << run.Status << "\n" << in.rdbuf();
    }
    const std::string remove = "rm -rf '" + folder + "'";
    if (std::system(remove.c_str()) != 0) {
        std::cerr << "could not remove " << folder << "\n";
    }
    return run;
}

void PrintServed(const std::string& what, const std::map<std::string, long long>& before,
                 const std::map<std::string, long long>& after) {
    std::cout << what << ": served";
    for (const auto& [path, count] : after) {
        const auto b = before.find(path);
        const long long n = count - (b == before.end() ? 0 : b->second);
        if (n != 0 && path.find(".zip") != std::string::npos) {
            std::cout << "  " << path << " x" << n;
        }
    }
    std::cout << "\n";
}

} // namespace

int main() {
    std::vector<std::string> cameraArgs;
    for (int i = 1; i <= 64; ++i) {
        const bool f = i % 2 == 1;
        cameraArgs.push_back("--camera");
        cameraArgs.push_back(std::string("series=") + (f ? "F" : "H") + ",ip=" + Net +
                             std::to_string(i) + ",port=0,password=135790" +
                             (f ? "" : ",model=BENCH-H"));
    }
    cameraArgs.push_back("--camera");
    cameraArgs.push_back(std::string("series=F,ip=") + Net + "100,port=0,password=135790");
    std::vector<std::string> argv{TORVANE_CAMSIM_PATH, "--server", std::string(Net) + "250:0",
                                  "--firmware-size", std::to_string(8 << 20), "--reboot-ms", "2000"};
    argv.insert(argv.end(), cameraArgs.begin(), cameraArgs.end());
    const TChild sim = Spawn(argv, {}, "");
    const std::string start = ReadUntil(sim.Out, "ready");
    std::map<std::string, std::string> ports;
    std::string server;
    const std::regex cameraLine(R"(camera \w (\d+\.\d+\.\d+\.\d+):(\d+))");
    const std::regex serverLine(R"(server (http://\S+))");
    std::istringstream lines(start);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_search(line, m, cameraLine)) {
            ports[m[1]] = m[2];
        } else if (std::regex_search(line, m, serverLine)) {
            server = m[1];
        }
    }
    if (server.empty() || ports.size() != 65) {
        std::cerr << "camsim did not start:\n" << start;
        return 1;
    }

    auto served = Served(server);
    const TBatchRun one = RunBatch(server, {std::string("F ") + Net + "100"}, ports, 1, "one", false);
    auto now = Served(server);
    PrintServed("one camera", served, now);
    served = now;

    std::vector<std::string> first32;
    std::vector<std::string> all64;
    for (int i = 1; i <= 64; ++i) {
        const std::string camera = std::string(i % 2 == 1 ? "F " : "H ") + Net + std::to_string(i);
        (i <= 32 ? first32 : all64).push_back(camera);
    }
    const TBatchRun site = RunBatch(server, first32, ports, 32, "site32", false);
    now = Served(server);
    PrintServed("32 cameras", served, now);
    served = now;
    all64.insert(all64.end(), first32.begin(), first32.end());
    const TBatchRun big = RunBatch(server, all64, ports, 64, "site64", true);
    now = Served(server);
    PrintServed("64 cameras", served, now);

    ::kill(sim.Pid, SIGTERM);
    int status = 0;
    ::waitpid(sim.Pid, &status, 0);

    std::printf("one camera alone:          %6.2f s (exit %d, max RSS %ld KiB)\n", one.Seconds,
                one.Status, one.MaxRssKiB);
    std::printf("32 cameras, --parallel 32: %6.2f s (exit %d, max RSS %ld KiB)\n", site.Seconds,
                site.Status, site.MaxRssKiB);
    std::printf("64 cameras, --parallel 64: %6.2f s (exit %d, max RSS %ld KiB = %.1f MiB)\n",
                big.Seconds, big.Status, big.MaxRssKiB, big.MaxRssKiB / 1024.0);
    std::printf("ratio 32 / 1 = %.2f (target <= 1.3)\n", site.Seconds / one.Seconds);
    return 0;
}
