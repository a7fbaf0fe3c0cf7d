// One search pass of the session's main thread with 2000 cameras listed and every one of
// them answering: 2000 MO_I replies parsed and merged, then the timer tick (ageing, count).
// The session is not started: no socket is opened and nothing is sent.

#include "discovery/DiscoverySession.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using torvane::TDiscoveryPorts;
using torvane::TDiscoverySession;

constexpr int Cameras = 2000;

// A MO_I search answer (content length 64) of camera i: address 10.0.(i/250).(i%250+1).
std::string Reply(int i, const std::string& name) {
    std::string d(23 + 64, '\0');
    d.replace(0, 4, "MO_I");
    d[4] = 1;
    d[15] = 64;
    const std::string id = "CAM" + std::to_string(100000 + i);
    d.replace(23, id.size(), id);
    d.replace(36, name.size(), name);
    d[57] = 10;
    d[58] = 0;
    d[59] = static_cast<char>(i / 250);
    d[60] = static_cast<char>(i % 250 + 1);
    d[85] = 0x1F;
    d[86] = static_cast<char>(0x90);
    return d;
}

std::vector<std::string> Replies(const std::string& name) {
    std::vector<std::string> out;
    for (int i = 0; i < Cameras; ++i) {
        out.push_back(Reply(i, name));
    }
    return out;
}

// Sorted by the column (ascending), as after a click on its header.
void SortBy(TDiscoverySession& session, int column) {
    if (session.SortColumn() != column) {
        session.ColumnClick(column);
    }
}

void Pass(TDiscoverySession& session, const std::vector<std::string>& replies) {
    for (const std::string& r : replies) {
        session.HandleDatagram(r);
    }
    session.Tick();
}

// Every camera answers with the data it gave before: refreshes only.
void BM_PassUnchanged(benchmark::State& state) {
    TDiscoverySession session(TDiscoveryPorts{}, nullptr, "/nonexistent");
    SortBy(session, static_cast<int>(state.range(0)));
    const std::vector<std::string> replies = Replies("camera");
    Pass(session, replies);
    for (auto _ : state) {
        Pass(session, replies);
    }
    state.counters["cameras"] = session.Count();
}
BENCHMARK(BM_PassUnchanged)->Arg(TDiscoverySession::ColumnIP)->Arg(TDiscoverySession::ColumnName)
    ->Unit(benchmark::kMillisecond);

// One camera in ten renames itself every pass: each such reply re-sorts its entry.
void BM_PassTenthChanged(benchmark::State& state) {
    TDiscoverySession session(TDiscoveryPorts{}, nullptr, "/nonexistent");
    SortBy(session, static_cast<int>(state.range(0)));
    std::vector<std::string> a = Replies("camera");
    std::vector<std::string> b = a;
    for (int i = 0; i < Cameras; i += 10) {
        b[i] = Reply(i, "renamed " + std::to_string(i));
    }
    Pass(session, a);
    bool flip = false;
    for (auto _ : state) {
        Pass(session, flip ? a : b);
        flip = !flip;
    }
    state.counters["cameras"] = session.Count();
}
BENCHMARK(BM_PassTenthChanged)->Arg(TDiscoverySession::ColumnIP)
    ->Arg(TDiscoverySession::ColumnName)->Unit(benchmark::kMillisecond);

// The first pass after Find: 2000 new cameras into an empty list.
void BM_FirstPass(benchmark::State& state) {
    TDiscoverySession session(TDiscoveryPorts{}, nullptr, "/nonexistent");
    const std::vector<std::string> replies = Replies("camera");
    for (auto _ : state) {
        state.PauseTiming();
        session.ClearDevices();
        state.ResumeTiming();
        Pass(session, replies);
    }
    state.counters["cameras"] = session.Count();
}
BENCHMARK(BM_FirstPass)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
