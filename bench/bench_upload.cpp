// The firmware upload against curl, and its memory. A sink on 127.0.0.1 (ephemeral port)
// takes each multipart POST, discards the body and answers 200. Three figures:
//   - wall time of PostFirmware (in this process, with a progress sink like the upgrade
//     worker's, and as a fresh process) and of
//     "curl -s -o /dev/null -F file=@FILE URL" for the same 64 MiB file, median of several
//     alternating runs, and the ratios ours / curl;
//   - the peak resident size (VmHWM) of a fresh process that uploads a 1 MiB and a 64 MiB
//     file, next to one that uploads nothing: streaming keeps them the same.
//
//   bench_upload [--runs N]
//   bench_upload --child FILE PORT     (internal: one upload, prints its VmHWM)

#include "platform/Folders.h"
#include "platform/Socket.h"
#include "series/PostFirmware.h"
#include "upgrade/Progress.h"

#include "BenchServer.h"
#include "BenchUtil.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace torvane;

namespace {

using bench::MiB;
using bench::Median;
using bench::Seconds;

long VmHwmKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

// Takes one request per connection: header, 100 Continue when asked, the body discarded.
void Discard(platform::TTcpSocket& c) {
    std::vector<char> buffer(256 * 1024);
    std::string head;
    std::size_t headEnd = std::string::npos;
    while (headEnd == std::string::npos) {
        const platform::TSocketResult n = c.Receive(buffer.data(), buffer.size());
        if (!n.Ok() || n.Count == 0) {
            return;
        }
        head.append(buffer.data(), n.Count);
        headEnd = head.find("\r\n\r\n");
    }
    std::string lower = head.substr(0, headEnd);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    const auto cl = lower.find("content-length:");
    long long left = cl == std::string::npos ? 0 : std::atoll(lower.c_str() + cl + 15);
    if (lower.find("expect: 100-continue") != std::string::npos) {
        const std::string cont = "HTTP/1.1 100 Continue\r\n\r\n";
        (void)c.Send(cont.data(), cont.size());
    }
    left -= static_cast<long long>(head.size() - headEnd - 4);
    while (left > 0) {
        const platform::TSocketResult n = c.Receive(buffer.data(), buffer.size());
        if (!n.Ok() || n.Count == 0) {
            return;
        }
        left -= static_cast<long long>(n.Count);
    }
    const std::string reply =
        "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
    (void)c.Send(reply.data(), reply.size());
}

std::string Url(std::uint16_t port) {
    return "http://127.0.0.1:" + std::to_string(port) + "/upgrade_firmware.cgi";
}

int Child(const std::string& file, int port) {
    if (!file.empty()) {
        const auto r = PostFirmware(Url(static_cast<std::uint16_t>(port)), file,
                                    "application/octet-stream", TPostVariant::F);
        if (!r.Completed) {
            std::cerr << "upload failed: " << r.ErrorText << "\n";
            return 1;
        }
    }
    std::cout << VmHwmKb() << "\n";
    return 0;
}

long ChildHwm(const std::string& self, const std::string& file, std::uint16_t port) {
    const std::string cmd = "'" + self + "' --child '" + file + "' " + std::to_string(port);
    std::FILE* p = ::popen(cmd.c_str(), "r");
    if (p == nullptr) {
        return -1;
    }
    long kb = -1;
    if (std::fscanf(p, "%ld", &kb) != 1) {
        kb = -1;
    }
    return ::pclose(p) == 0 ? kb : -1;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "--child") {
        return Child(args[1], std::atoi(args[2].c_str()));
    }
    const int runs = bench::RunsOption(args, 7);
    const std::string folder = platform::TempFolder();
    if (folder.empty()) {
        std::cerr << "no private temporary folder\n";
        return 1;
    }
    const std::string small = folder + "bench_upload_1m.bin";
    const std::string big = folder + "bench_upload_64m.bin";
    if (!bench::WriteNoiseFile(small, MiB) || !bench::WriteNoiseFile(big, 64 * MiB)) {
        std::cerr << "cannot write the test files\n";
        return 1;
    }
    const std::string self = platform::ModulePath();
    int status = 0;
    {
        bench::TLoopbackServer sink("sink", Discard);
        const std::string url = Url(sink.Port());
        const std::string curl = "curl -s -f -o /dev/null -F 'file=@" + big + "' " + url;
        bool ok = PostFirmware(url, big, "application/octet-stream", TPostVariant::F).Completed &&
                  std::system(curl.c_str()) == 0; // warms the page cache and checks both work
        if (!ok) {
            std::cerr << "warm-up upload failed (is curl installed?)\n";
            return 1;
        }
        std::vector<double> ours, oursReporting, oursProcess, theirs;
        bench::TBenchProgressSink reporter;
        for (int i = 0; i < runs; ++i) {
            ours.push_back(Seconds([&] {
                ok = ok &&
                     PostFirmware(url, big, "application/octet-stream", TPostVariant::F).Completed;
            }));
            oursReporting.push_back(Seconds([&] {
                const TProgressScope reporting(reporter);
                ok = ok &&
                     PostFirmware(url, big, "application/octet-stream", TPostVariant::F).Completed;
            }));
            oursProcess.push_back(
                Seconds([&] { ok = ok && ChildHwm(self, big, sink.Port()) > 0; }));
            theirs.push_back(Seconds([&] { ok = ok && std::system(curl.c_str()) == 0; }));
        }
        if (!ok) {
            std::cerr << "an upload failed during the runs\n";
            status = 1;
        }
        const double o = Median(ours), orp = Median(oursReporting), op = Median(oursProcess),
                     c = Median(theirs);
        std::printf("64 MiB upload, median of %d runs\n", runs);
        std::printf("  PostFirmware (in process)   %8.1f ms  %7.0f MiB/s\n", o * 1000, 64 / o);
        std::printf("  PostFirmware (reporting)    %8.1f ms  %7.0f MiB/s  (%zu reports a run)\n",
                    orp * 1000, 64 / orp, reporter.Reports / static_cast<std::size_t>(runs));
        std::printf("  PostFirmware (new process)  %8.1f ms  %7.0f MiB/s\n", op * 1000, 64 / op);
        std::printf("  curl -F                     %8.1f ms  %7.0f MiB/s\n", c * 1000, 64 / c);
        std::printf("  ratio ours/curl: in process %.2f, reporting progress %.2f, new process %.2f "
                    "(target <= 1.2)\n",
                    o / c, orp / c, op / c);

        const long idle = ChildHwm(self, "", sink.Port());
        const long kb1 = ChildHwm(self, small, sink.Port());
        const long kb64 = ChildHwm(self, big, sink.Port());
        std::printf("peak resident size (VmHWM) of a fresh process\n");
        std::printf("  no upload %ld KiB, 1 MiB file %ld KiB, 64 MiB file %ld KiB\n", idle, kb1,
                    kb64);
        std::printf("  growth from 1 MiB to 64 MiB: %ld KiB (target: the same)\n", kb64 - kb1);
    }
    (void)platform::RemoveFile(small);
    (void)platform::RemoveFile(big);
    return status;
}
