// torvane-cli discover [--seconds N] [--find] [--broadcast ADDR] [--json]: the window's LAN
// search without the window. One pass at once, then one a second through the same session
// (listeners, merge, ageing, sorting), for N seconds; then the list in the session's order.

#include "cli/CliArgs.h"
#include "cli/Commands.h"
#include "discovery/DevInfoJson.h"
#include "discovery/DiscoverySession.h"
#include "discovery/SR.h"
#include "i18n/Deployment.h"
#include "platform/Host.h"
#include "platform/Socket.h"
#include "platform/Text.h"
#include "series/SR_924.h"

#include <chrono>
#include <iostream>

namespace torvane::cli {

namespace {

constexpr int DefaultSeconds = 3;
constexpr int MaxSeconds = 3600;

void PrintDiscoverUsage() {
    std::cerr << "usage: torvane-cli discover [--seconds N] [--find] [--broadcast ADDR] "
                 "[--json]\n";
}

// A text as one TAB-separated column: control characters (TAB and line breaks among them)
// become blanks.
std::string Column(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    return out;
}

// Runs the main thread's hand-overs until the deadline.
void ServeUntil(platform::TMainQueue& queue, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return;
        }
        queue.WaitAndRun(static_cast<int>(left.count()));
    }
}

} // namespace

int RunDiscover(int argc, char** argv) {
    TCliArgs args;
    std::string error;
    if (!ParseArgs(argc, argv, 2, {"seconds", "broadcast"}, {"find", "json"}, args, error) ||
        !args.Positional.empty()) {
        std::cerr << "torvane-cli discover: " << (error.empty() ? "unexpected argument" : error)
                  << "\n";
        PrintDiscoverUsage();
        return ExitUsage;
    }
    const long long seconds = platform::ToIntDef(
        args.Get("seconds", std::to_string(DefaultSeconds)), -1);
    if (seconds < 1 || seconds > MaxSeconds) {
        std::cerr << "torvane-cli discover: --seconds takes a whole number from 1 to "
                  << MaxSeconds << "\n";
        return ExitUsage;
    }
    if (args.Has("broadcast")) {
        std::uint32_t address = 0;
        const std::string text = platform::Trim(args.Get("broadcast", ""));
        if (!platform::ParseIPv4(text, address)) {
            std::cerr << "torvane-cli discover: --broadcast takes an IPv4 address such as "
                         "255.255.255.255\n";
            return ExitUsage;
        }
        SetBroadcastAddress(text);
    }
    auto* console = dynamic_cast<platform::TConsoleHost*>(&platform::Host());
    if (console == nullptr) {
        std::cerr << "torvane-cli discover: no console host\n";
        return ExitFailed;
    }
    platform::TMainQueue& queue = console->Queue();
    queue.BindToCurrentThread();

    std::vector<TDevInfo> found;
    {
        TDiscoverySession session;
        session.Start();
        if (args.Has("find")) {
            session.Find();
        } else {
            session.Show();
        }
        const auto start = std::chrono::steady_clock::now();
        for (long long pass = 1;; ++pass) {
            ServeUntil(queue, start + std::chrono::seconds(pass));
            if (pass >= seconds) {
                break;
            }
            session.Tick();
        }
        found = session.Devices();
        session.Stop();
    }
    ReleaseSeries924();

    if (args.Has("json")) {
        std::cout << DevInfoListToJson(found);
    } else {
        for (const TDevInfo& d : found) {
            std::cout << Column(DevTypeToSeries(d.nType)) << '\t' << Column(d.szName) << '\t'
                      << Column(d.szIPAddr) << '\t' << d.wPort << '\t' << SeriesIndexOf(d.nType)
                      << '\t' << Column(d.szID) << '\n';
        }
    }
    std::cout << std::flush;
    return ExitOk;
}

} // namespace torvane::cli
