// The package download against curl. A server on 127.0.0.1 (ephemeral port) answers every
// GET with the same 64 MiB of noise, from memory; our download (TUpgradeOpt::FetchUrl, the
// limits of a package, with and without a progress sink like the upgrade worker's) and
// "curl -s -f -o FILE URL" fetch it in alternating runs; the medians and the ratios ours /
// curl are printed.
//
//   bench_download [--runs N]

#include "platform/Folders.h"
#include "platform/Socket.h"
#include "upgrade/Progress.h"
#include "upgrade/uIUpgradeOpt.h"

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
class TFileServer {
public:
    explicit TFileServer(std::string body) : FBody(std::move(body)) {
        if (const auto listening = FListener.Listen(platform::IPv4Loopback, 0); !listening) {
            throw std::runtime_error("server: " + listening.ErrorText());
        }
        FThread = std::thread([this] { Serve(); });
    }
    ~TFileServer() {
        FStop = true;
        FThread.join();
    }
    [[nodiscard]] std::uint16_t Port() const { return FListener.LocalPort(); }

private:
    void Serve() {
        while (!FStop) {
            if (FListener.WaitReadable(100) != platform::TWaitResult::Ready) {
                continue;
            }
            platform::TTcpSocket c;
            if (FListener.Accept(c)) {
                Answer(c);
            }
        }
    }
    void Answer(platform::TTcpSocket& c) const {
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
                                  std::to_string(FBody.size()) + "\r\nConnection: close\r\n\r\n";
        if (!c.Send(reply.data(), reply.size()).Ok()) {
            return;
        }
        for (std::size_t at = 0; at < FBody.size();) {
            const platform::TSocketResult n =
                c.Send(FBody.data() + at, std::min<std::size_t>(MiB, FBody.size() - at));
            if (!n.Ok() || n.Count == 0) {
                return;
            }
            at += n.Count;
        }
    }

    std::string FBody;
    platform::TTcpListener FListener;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

// Takes reports as the upgrade worker's sink does: under a lock, the clock read, the
// latest kept.
class TBenchProgressSink : public IProgressSink {
public:
    void Report(const TProgress& progress) override {
        std::lock_guard<std::mutex> g(FLock);
        const auto now = std::chrono::steady_clock::now();
        if (now - FLast >= std::chrono::milliseconds(100)) {
            FLast = now;
        }
        Latest = progress;
        ++Reports;
    }
    std::size_t Reports = 0;
    TProgress Latest;

private:
    std::mutex FLock;
    std::chrono::steady_clock::time_point FLast{};
};

std::string Noise(std::size_t bytes) {
    std::string data(bytes, '\0');
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    for (char& c : data) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        c = static_cast<char>(x & 0xFF);
    }
    return data;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    int runs = 7;
    if (args.size() == 2 && args[0] == "--runs") {
        runs = std::max(1, std::atoi(args[1].c_str()));
    }
    const std::string folder = platform::TempFolder();
    if (folder.empty()) {
        std::cerr << "no private temporary folder\n";
        return 1;
    }
    const std::string ours = folder + "bench_download_ours.zip";
    const std::string theirs = folder + "bench_download_curl.zip";
    int status = 0;
    {
        TFileServer server(Noise(FileBytes));
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
        TBenchProgressSink reporter;
        std::vector<double> plain, reporting, tool;
        for (int i = 0; i < runs; ++i) {
            plain.push_back(bench::Seconds([&] {
                ok = ok && TUpgradeOpt::FetchUrl(url, ours, EDownloadKind::Package, error);
            }));
            reporting.push_back(bench::Seconds([&] {
                const TProgressScope scope(reporter);
                ok = ok && TUpgradeOpt::FetchUrl(url, ours, EDownloadKind::Package, error);
            }));
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
