// The package download against curl. A server on 127.0.0.1 (ephemeral port) answers every
// GET with the same 64 MiB of noise, from memory; our download (TUpgradeOpt::FetchUrl, the
// limits of a package, with and without a progress sink like the upgrade worker's) and
// "curl -s -f -o FILE URL" fetch it in alternating runs; the medians and the ratios ours /
// curl are printed. Before each run an empty file stands at each tool's path, as the
// upgrade's fresh package file does when the download begins: replacing the last run's
// 64 MiB instead would time the file system throwing that file away (and, on ext4, the
// flush it starts when a file is renamed over another), which no upgrade does.
//
//   bench_download [--runs N]

#include "platform/Folders.h"
#include "platform/Socket.h"
#include "upgrade/Progress.h"
#include "upgrade/uIUpgradeOpt.h"

#include "BenchServer.h"
#include "BenchUtil.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace torvane;
using bench::MiB;

namespace {

constexpr std::size_t FileBytes = 64 * MiB;

// Answers one GET per connection with the body and closes.
void Answer(const std::string& body, platform::TTcpSocket& c) {
    std::string head;
    std::vector<char> buffer(4096);
    while (head.find("\r\n\r\n") == std::string::npos) {
        const platform::TSocketResult n = c.Receive(buffer.data(), buffer.size());
        if (!n.Ok() || n.Count == 0) {
            return;
        }
        head.append(buffer.data(), n.Count);
    }
    const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: application/zip\r\n"
                              "Content-Length: " +
                              std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
    if (!c.Send(reply.data(), reply.size()).Ok()) {
        return;
    }
    for (std::size_t at = 0; at < body.size();) {
        const platform::TSocketResult n =
            c.Send(body.data() + at, std::min<std::size_t>(MiB, body.size() - at));
        if (!n.Ok() || n.Count == 0) {
            return;
        }
        at += n.Count;
    }
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const int runs = bench::RunsOption(args, 7);
    const std::string folder = platform::TempFolder();
    if (folder.empty()) {
        std::cerr << "no private temporary folder\n";
        return 1;
    }
    const std::string ours = folder + "bench_download_ours.zip";
    const std::string theirs = folder + "bench_download_curl.zip";
    int status = 0;
    {
        const std::string body = bench::Noise(FileBytes);
        bench::TLoopbackServer server("server", [&body](platform::TTcpSocket& c) { Answer(body, c); });
        const std::string url =
            "http://127.0.0.1:" + std::to_string(server.Port()) + "/FM/system/package.zip";
        const std::string curl = "curl -s -f -o '" + theirs + "' " + url;
        std::string error;
        bool ok = TUpgradeOpt::FetchUrl(url, ours, EDownloadKind::Package, error) &&
                  std::system(curl.c_str()) == 0; // warms up and checks both work
        if (!ok) {
            std::cerr << "warm-up download failed (is curl installed?) " << error << "\n";
            return 1;
        }
        bench::TBenchProgressSink reporter;
        std::vector<double> plain, reporting, tool;
        for (int i = 0; i < runs; ++i) {
            (void)platform::WriteFileAtomic(ours, "");
            plain.push_back(bench::Seconds([&] {
                ok = ok && TUpgradeOpt::FetchUrl(url, ours, EDownloadKind::Package, error);
            }));
            (void)platform::WriteFileAtomic(ours, "");
            reporting.push_back(bench::Seconds([&] {
                const TProgressScope scope(reporter);
                ok = ok && TUpgradeOpt::FetchUrl(url, ours, EDownloadKind::Package, error);
            }));
            (void)platform::WriteFileAtomic(theirs, "");
            tool.push_back(bench::Seconds([&] { ok = ok && std::system(curl.c_str()) == 0; }));
        }
        if (!ok) {
            std::cerr << "a download failed during the runs: " << error << "\n";
            status = 1;
        }
        if (reporter.Latest.Done != FileBytes || reporter.Latest.Total != FileBytes) {
            std::cerr << "the last progress report is not 64 MiB of 64 MiB\n";
            status = 1;
        }
        const double o = bench::Median(plain), r = bench::Median(reporting),
                     c = bench::Median(tool);
        std::printf("64 MiB download, median of %d runs\n", runs);
        std::printf("  FetchUrl                    %8.1f ms  %7.0f MiB/s\n", o * 1000, 64 / o);
        std::printf("  FetchUrl (reporting)        %8.1f ms  %7.0f MiB/s  (%zu reports a run)\n",
                    r * 1000, 64 / r, reporter.Reports / static_cast<std::size_t>(runs));
        std::printf("  curl -o                     %8.1f ms  %7.0f MiB/s\n", c * 1000, 64 / c);
        std::printf("  ratio ours/curl: %.2f, reporting progress %.2f (target <= 1.1)\n", o / c,
                    r / c);
    }
    (void)platform::RemoveFile(ours);
    (void)platform::RemoveFile(theirs);
    return status;
}
