// One search pass of the session's main thread with 2000 cameras listed and every one of
// them answering: 2000 MO_I replies parsed and merged, then the timer tick (ageing, count).
// The session is not started: no socket is opened and nothing is sent.
//
// BM_PassThroughListener takes the replies the way the program does: sent over loopback to
// a started session's MO_I listener, whose receive thread hands them to the main thread
// (here the console host's queue, as in torvane-cli). Its CPU column is the main thread's
// own time for the 2000 replies; the sender waits after every 100 until they have been
// handled, so that no reply is lost in the socket's buffer.

#include "discovery/DiscoverySession.h"
#include "i18n/Deployment.h"
#include "platform/Host.h"
#include "platform/Socket.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
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

// 2000 replies through the MO_I listener's receive thread and the hand-over.
void BM_PassThroughListener(benchmark::State& state) {
    torvane::SetBroadcastAddress("127.0.0.1"); // nothing is sent, but never off loopback
    torvane::platform::TConsoleHost host;
    host.Queue().BindToCurrentThread();
    torvane::platform::SetHost(&host);
    TDiscoveryPorts ports;
    ports.MOIListenerBase = 47000;
    ports.SQ610ListenerBase = 47100;
    ports.UicamListenerBase = 47200;
    ports.CTPListenerBase = 47300;
    ports.Listener1010Base = 47400;
    {
        TDiscoverySession session(ports, nullptr, "/nonexistent");
        session.Start();
        std::atomic<int> handled{0};
        auto& listener = session.Listener(TDiscoverySession::Listener2);
        listener.SetHandler([&](torvane::TUdpListener&, const std::uint8_t* data,
                                std::size_t length, std::uint32_t, std::uint16_t,
                                const std::string& interfaceName) {
            session.HandleDatagram(
                std::string_view(reinterpret_cast<const char*>(data), length), interfaceName);
            ++handled;
        });
        const std::uint16_t port = listener.Port();
        const std::vector<std::string> replies = Replies("camera");
        torvane::platform::TUdpSocket sender;
        if (!listener.Active() || !sender.Create() ||
            !sender.Bind(torvane::platform::IPv4Loopback, 0)) {
            state.SkipWithError("no loopback listener");
        }
        for (auto _ : state) {
            handled = 0;
            std::thread send([&] {
                constexpr int Batch = 100;
                for (int i = 0; i < Cameras; ++i) {
                    (void)sender.SendTo(replies[static_cast<std::size_t>(i)].data(),
                                        replies[static_cast<std::size_t>(i)].size(),
                                        torvane::platform::IPv4Loopback, port);
                    if ((i + 1) % Batch == 0) {
                        while (handled.load() < i + 1) {
                            std::this_thread::yield();
                        }
                    }
                }
            });
            while (handled.load() < Cameras) {
                host.Queue().WaitAndRun(5);
            }
            send.join();
        }
        state.counters["cameras"] = session.Count();
        session.Stop();
    }
    torvane::platform::SetHost(nullptr);
}
BENCHMARK(BM_PassThroughListener)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
