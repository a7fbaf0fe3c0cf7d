// One probe of the search: resolving the destinations and sending, with "auto" (the
// interfaces read anew, one datagram per interface through IP_PKTINFO) and with one
// explicit address (one routed sendto, as before "auto"). Runs only inside a network
// namespace other than the host's (see bench_interfaces.cmake), so that it never lists or
// sends on the host's interfaces.

#include "platform/Interfaces.h"
#include "platform/Socket.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <dirent.h>
#include <string>
#include <sys/stat.h>

namespace {

using namespace torvane::platform;

constexpr std::uint16_t NowherePort = 9; // discard

void BM_ResolveAuto(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ResolveBroadcastTargets("auto", ""));
    }
    state.counters["interfaces"] = static_cast<double>(ResolveBroadcastTargets("auto", "").size());
}
BENCHMARK(BM_ResolveAuto);

void BM_ResolveExplicit(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ResolveBroadcastTargets("127.0.0.1", ""));
    }
}
BENCHMARK(BM_ResolveExplicit);

void SendProbe(benchmark::State& state, const char* setting) {
    TUdpSocket socket;
    if (!socket.Create() || !socket.Bind(IPv4Any, 0) || !socket.SetBroadcast(true)) {
        state.SkipWithError("no socket");
        return;
    }
    int sent = 0;
    for (auto _ : state) {
        sent = socket.SendToTargets("DH\x01\x01", 4, NowherePort,
                                    ResolveBroadcastTargets(setting, ""));
    }
    state.counters["datagrams"] = sent;
}

void BM_ProbeAuto(benchmark::State& state) {
    SendProbe(state, "auto");
}
BENCHMARK(BM_ProbeAuto);

void BM_ProbeExplicit(benchmark::State& state) {
    SendProbe(state, "127.0.0.1");
}
BENCHMARK(BM_ProbeExplicit);

// True when this process runs in a namespace made with `ip netns add` (listed in
// /run/netns), never the host's own.
bool InNamedNamespace() {
    struct stat mine {};
    if (::stat("/proc/self/ns/net", &mine) != 0) {
        return false;
    }
    DIR* folder = ::opendir("/run/netns");
    if (folder == nullptr) {
        return false;
    }
    bool found = false;
    while (const dirent* entry = ::readdir(folder)) {
        struct stat named {};
        const std::string path = std::string("/run/netns/") + entry->d_name;
        found = found || (::stat(path.c_str(), &named) == 0 && named.st_dev == mine.st_dev &&
                          named.st_ino == mine.st_ino);
    }
    ::closedir(folder);
    return found;
}

} // namespace

int main(int argc, char** argv) {
    if (!InNamedNamespace()) {
        std::fprintf(stderr, "bench_interfaces: run me inside a network namespace of my own "
                             "(see bench/bench_interfaces.cmake)\n");
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
