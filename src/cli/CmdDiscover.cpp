// torvane-cli discover [--seconds N] [--find] [--broadcast auto|ADDR] [--interface NAME]
// [--json]: the window's LAN search without the window. One pass at once, then one a
// second through the same session (listeners, merge, ageing, sorting), for N seconds; then
// the list in the session's order, each camera with the PC's interface it answered on.

#include "cli/CliArgs.h"
#include "cli/Commands.h"
#include "discovery/DevInfoJson.h"
#include "discovery/DiscoverySession.h"
#include "discovery/SR.h"
#include "i18n/Deployment.h"
#include "platform/Host.h"
#include "platform/Interfaces.h"
#include "platform/Text.h"
#include "series/SR_924.h"

#include <chrono>
#include <iostream>

namespace torvane::cli {

namespace {

constexpr int DefaultSeconds = 3;
constexpr int MaxSeconds = 3600;

void PrintDiscoverUsage() {
    std::cerr << "usage: torvane-cli discover [--seconds N] [--find] [--broadcast auto|ADDR]\n"
                 "           [--interface NAME] [--json]\n";
}

// Says so on standard error when the search has nowhere to send at its start (it goes on:
// an interface that appears later is used from the next pass on).
void WarnWithoutDestination() {
    if (!SearchTargets().empty()) {
        return;
    }
    const std::string only = SearchInterface();
    std::cerr << "torvane-cli discover: ";
    if (!only.empty() && platform::InterfaceIndex(only) == 0) {
        std::cerr << "there is no network interface named " << only
                  << " now; the search uses it once it appears\n";
    } else if (!only.empty()) {
        std::cerr << "the network interface " << only
                  << " is down, has no IPv4 address or cannot broadcast; the search uses it "
                     "once it can\n";
    } else {
        std::cerr << "no network interface that can broadcast is up; the search uses one "
                     "once it is\n";
    }
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
    if (!ParseArgs(argc, argv, 2, {"seconds", "broadcast", "interface"}, {"find", "json"}, args,
                   error) ||
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
        const std::string text = platform::Trim(args.Get("broadcast", ""));
        if (!platform::IsValidBroadcastSetting(text)) {
            std::cerr << "torvane-cli discover: --broadcast takes auto (every network "
                         "interface) or an IPv4 address such as 255.255.255.255\n";
            return ExitUsage;
        }
        SetBroadcastAddress(text);
    } else if (!platform::IsValidBroadcastSetting(BroadcastAddress())) {
        std::cerr << "torvane-cli discover: the setting broadcast=" << BroadcastAddress()
                  << " in option.ini is neither auto nor an IPv4 address\n";
        return ExitUsage;
    }
    if (args.Has("interface")) {
        const std::string name = platform::Trim(args.Get("interface", ""));
        if (!platform::IsValidInterfaceName(name)) {
            std::cerr << "torvane-cli discover: --interface takes the name of a network "
                         "interface such as eth0\n";
            return ExitUsage;
        }
        SetSearchInterface(name);
    } else if (const std::string only = SearchInterface();
               !only.empty() && !platform::IsValidInterfaceName(only)) {
        std::cerr << "torvane-cli discover: the setting interface=" << only
                  << " in option.ini is not the name of a network interface\n";
        return ExitUsage;
    }
    WarnWithoutDestination();
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
                      << '\t' << Column(d.szID) << '\t' << Column(d.szInterface) << '\n';
        }
    }
    std::cout << std::flush;
    return ExitOk;
}

} // namespace torvane::cli
