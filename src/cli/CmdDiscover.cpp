// torvane-cli discover: the window's LAN search without the window. One pass at once, then
// one a second through the same session (listeners, merge, ageing, sorting), for N
// seconds; then the list in the session's order, each camera with the PC's interface it
// answered on.

#include "cli/Checks.h"
#include "cli/Commands.h"
#include "cli/Search.h"
#include "cli/SharedOptions.h"
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

} // namespace

void WarnSearchWithoutDestination() {
    if (!SearchTargets().empty()) {
        return;
    }
    const std::string only = SearchInterface();
    if (!only.empty() && platform::InterfaceIndex(only) == 0) {
        PrintWarning({"IDS_CLI_NOINTERFACE", {only}});
    } else if (!only.empty()) {
        PrintWarning({"IDS_CLI_INTERFACEDOWN", {only}});
    } else {
        PrintWarning({"IDS_CLI_NOBROADCASTINTERFACE", {}});
    }
}

namespace {

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

std::vector<TDevInfo> SearchCameras(platform::TMainQueue& queue, long long seconds, bool find) {
    std::vector<TDevInfo> found;
    {
        TDiscoverySession session;
        session.Start();
        if (find) {
            session.Find();
        } else {
            session.Show();
        }
        const auto start = std::chrono::steady_clock::now();
        for (long long pass = 1;; ++pass) {
            ServeUntil(queue, start + std::chrono::seconds(pass));
            PrintTrace({"IDS_CLI_TRACE_PASS",
                        {std::to_string(pass), std::to_string(session.Devices().size())}});
            if (pass >= seconds) {
                break;
            }
            session.Tick();
        }
        found = session.Devices();
        session.Stop();
    }
    ReleaseSeries924();
    return found;
}

namespace {

int RunDiscover(const TParsedArgs& args) {
    const long long seconds = std::stoll(args.Get("seconds", std::to_string(DefaultSeconds)));
    if (args.Has("broadcast")) {
        SetBroadcastAddress(args.Get("broadcast", ""));
    } else if (!platform::IsValidBroadcastSetting(platform::Trim(BroadcastAddress()))) {
        PrintUsageError({"IDS_CLI_BADSETTING", {"broadcast", BroadcastAddress()}}, "discover");
        return ExitUsage;
    }
    if (args.Has("interface")) {
        SetSearchInterface(args.Get("interface", ""));
    } else if (const std::string only = SearchInterface();
               !only.empty() && !platform::IsValidInterfaceName(only)) {
        PrintUsageError({"IDS_CLI_BADSETTING", {"interface", only}}, "discover");
        return ExitUsage;
    }
    WarnSearchWithoutDestination();
    auto* console = dynamic_cast<platform::TConsoleHost*>(&platform::Host());
    if (console == nullptr) {
        return ExitFailed; // main installs a console host; nothing else runs this command
    }
    platform::TMainQueue& queue = console->Queue();
    queue.BindToCurrentThread();

    const std::vector<TDevInfo> found = SearchCameras(queue, seconds, args.Has("find"));

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

} // namespace

TCommandSpec DiscoverCommand() {
    TCommandSpec c = NewCommand("discover", "search the LAN and list the cameras found", R"(
        Runs the window's LAN search: one pass at once, then one a second, for the given number of
        seconds; then lists the cameras found, one a line: series, name, IP address, port, series
        index, identity and the network interface of this PC on which the camera answered, separated
        by TABs.

        With the broadcast setting auto (the default), every probe goes out of every network
        interface that is up and can broadcast; an interface that appears while the search runs is
        used from the next pass on.
    )");
    c.Options = {
        {.Long = "seconds",
         .Value = "N",
         .Help = "how long to search, in seconds, from 1 to " + std::to_string(MaxSeconds) +
                 " (default " + std::to_string(DefaultSeconds) + ")",
         .Check = CheckWholeNumber(1, MaxSeconds)},
        {.Long = "find",
         .Help = "also search through the vendor library, as the dialog's Find button does"},
        BroadcastOption("where the search probes go"),
        InterfaceOption("search on this network interface only"),
        {.Long = "json",
         .Help = "print the list as JSON, with the field \"interface\" for the interface"},
    };
    c.Examples = {"torvane-cli discover --seconds 5",
                  "torvane-cli discover --interface eth1 --json",
                  "torvane-cli discover --seconds 5 --broadcast 192.0.2.255"};
    c.Run = [](const TCommandContext& context) { return RunDiscover(context.Args); };
    return c;
}

} // namespace torvane::cli
