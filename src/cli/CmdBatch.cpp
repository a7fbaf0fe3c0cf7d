// torvane-cli batch: a whole site at once. The cameras of a CSV list, or every camera a
// search lists, are upgraded side by side by the site engine (upgrade/SiteUpgrade), each
// camera's log lines printed as the single upgrade prints them with the camera's address
// and port in front, then a summary table; or the single upgrade's JSON events with a
// "camera" field and a final summary object. The first Ctrl-C starts no new camera.

#include "cli/CameraList.h"
#include "cli/Checks.h"
#include "cli/Commands.h"
#include "cli/Password.h"
#include "cli/QuitSignals.h"
#include "cli/RunSupport.h"
#include "cli/Search.h"
#include "cli/SharedOptions.h"
#include "discovery/SR.h"
#include "i18n/Deployment.h"
#include "i18n/StrRes.h"
#include "platform/Json.h"
#include "platform/Text.h"
#include "upgrade/SiteReport.h"
#include "upgrade/SiteUpgrade.h"
#include "upgrade/uUpgradeThread.h"

#include <cstdio>
#include <iostream>
#include <set>

namespace torvane::cli {

namespace {

using platform::JsonString;

std::vector<std::string> CommaList(const std::string& text) {
    std::vector<std::string> parts;
    platform::SplitText(text, ",", parts);
    return parts;
}

constexpr int MaxDiscoverSeconds = 3600;
// How long the main thread waits for work before it looks again whether the site ended.
constexpr int QueueWaitMs = 1000;

const char* FirmwareName(bool isSystem) {
    return torvane::FirmwareName(isSystem ? EFirmwareKind::System : EFirmwareKind::UI);
}

// The text of a camera's outcome for the summary table.
std::string OutcomeText(const TSiteCameraResult& r) {
    switch (r.Outcome) {
    case ESiteCameraOutcome::Upgraded:
        return Text({"IDS_CLI_BATCH_UPGRADED", {}});
    case ESiteCameraOutcome::NothingToInstall:
        return Text({"IDS_CLI_BATCH_NOTHING", {}});
    case ESiteCameraOutcome::NotStarted:
        return Text({"IDS_CLI_BATCH_NOTSTARTED", {}});
    default:
        break;
    }
    // Failed: with the line that ended the first run that failed.
    for (const TSiteRunResult& run : r.Runs) {
        if (run.Outcome == ERunClass::Failed) {
            const std::string text = run.LastText;
            return Text({"IDS_CLI_BATCH_FAILED", {}}) + (text.empty() ? "" : ": " + text);
        }
    }
    return Text({"IDS_CLI_BATCH_FAILED", {}});
}

// The versions of the camera's run of one kind; none when it had no such run.
const TSiteRunResult* RunOf(const TSiteCameraResult& r, bool isSystem) {
    for (const TSiteRunResult& run : r.Runs) {
        if (run.IsSystem == isSystem) {
            return &run;
        }
    }
    return nullptr;
}

void PrintSummaryTable(const std::vector<TSiteCameraResult>& results) {
    std::vector<std::vector<std::string>> rows;
    rows.push_back({Text({"IDS_CLI_BATCH_COLCAMERA", {}}), Text({"IDS_CLI_BATCH_COLSERIES", {}}),
                    Text({"IDS_CLI_BATCH_COLSYSBEFORE", {}}),
                    Text({"IDS_CLI_BATCH_COLSYSAFTER", {}}),
                    Text({"IDS_CLI_BATCH_COLUIBEFORE", {}}), Text({"IDS_CLI_BATCH_COLUIAFTER", {}}),
                    Text({"IDS_CLI_BATCH_COLOUTCOME", {}})});
    for (const TSiteCameraResult& r : results) {
        const TSiteRunResult* sys = RunOf(r, true);
        const TSiteRunResult* ui = RunOf(r, false);
        const auto version = [](const TSiteRunResult* run, bool after) {
            const std::string v = run == nullptr ? "" : after ? run->VersionAfter : run->VersionBefore;
            return v.empty() ? std::string("-") : v;
        };
        rows.push_back({r.Camera.Name(), r.Camera.SeriesLetter(), version(sys, false),
                        version(sys, true), version(ui, false), version(ui, true), OutcomeText(r)});
    }
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], DisplayWidth(row[i]));
        }
    }
    std::cout << '\n';
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line += std::string(widths[i] - DisplayWidth(row[i]) + 2, ' ');
            }
        }
        std::cout << line << '\n';
    }
    const TSiteSummary s = Summarize(results);
    std::cout << Text({"IDS_CLI_BATCH_TOTALS",
                       {std::to_string(s.Cameras), std::to_string(s.Upgraded),
                        std::to_string(s.NothingToInstall), std::to_string(s.Failed),
                        std::to_string(s.NotStarted)}})
              << std::endl;
}

std::string SummaryJson(const std::vector<TSiteCameraResult>& results) {
    std::string out = "{\"event\":\"summary\"," + SummaryJsonFields(Summarize(results)) +
                      ",\"results\":[";
    for (std::size_t i = 0; i < results.size(); ++i) {
        const TSiteCameraResult& r = results[i];
        const TSiteRunResult* sys = RunOf(r, true);
        const TSiteRunResult* ui = RunOf(r, false);
        out += (i == 0 ? "{" : ",{");
        out += "\"camera\":" + JsonString(r.Camera.Name()) +
               ",\"series\":" + JsonString(r.Camera.SeriesLetter()) +
               ",\"outcome\":" + JsonString(OutcomeName(r.Outcome)) +
               ",\"system_before\":" + JsonString(sys ? sys->VersionBefore : "") +
               ",\"system_after\":" + JsonString(sys ? sys->VersionAfter : "") +
               ",\"ui_before\":" + JsonString(ui ? ui->VersionBefore : "") +
               ",\"ui_after\":" + JsonString(ui ? ui->VersionAfter : "") + "}";
    }
    return out + "]}";
}

// The cameras to upgrade: from the list file, or from a search; the usage error otherwise.
std::variant<std::vector<TSiteCamera>, TMessage>
CollectCameras(const TParsedArgs& args, const TCameraListDefaults& defaults,
               platform::TConsoleHost& host) {
    if (args.Has("cameras")) {
        return ReadCameraList(args.Get("cameras", ""), defaults);
    }
    WarnSearchWithoutDestination();
    const long long seconds = std::stoll(args.Get("discover", "3"));
    std::vector<TSiteCamera> cameras;
    std::set<std::string> seen;
    for (const TDevInfo& d : SearchCameras(host.Queue(), seconds, false)) {
        TSiteCamera camera;
        camera.SeriesIndex = SeriesIndexOf(d.nType);
        camera.Address = d.szIPAddr;
        camera.Port = d.wPort;
        camera.User = defaults.User;
        camera.Password = defaults.Password;
        if (camera.SeriesIndex < 0 || camera.Address.empty() || camera.Port <= 0 ||
            !seen.insert(camera.Name()).second) {
            continue;
        }
        cameras.push_back(std::move(camera));
    }
    return cameras;
}

int RunBatch(const TCommandContext& context) {
    const TParsedArgs& args = context.Args;
    if (args.Has("cameras") == args.Has("discover")) {
        PrintUsageError(args.Has("cameras")
                            ? TMessage{"IDS_CLI_CONFLICT", {"--cameras", "--discover"}}
                            : TMessage{"IDS_CLI_BATCH_NOSOURCE", {"--cameras", "--discover"}},
                        "batch");
        return ExitUsage;
    }
    const bool json = args.Has("json");
    TCameraListDefaults defaults;
    defaults.User = args.Get("user", DefaultUser);
    TPassword password;
    if (auto error = ObtainPassword(args, DefaultPassword, defaults.User, "", password)) {
        PrintUsageError(*error, "batch");
        return ExitUsage;
    }
    defaults.Password = password.Text;

    TSiteOptions options;
    options.Parallel = std::stoi(args.Get("parallel", std::to_string(TSiteOptions::DefaultParallel)));
    const std::string firmware = args.Get("firmware", "both");
    options.Firmware = firmware == "system" ? ESiteFirmware::System
                       : firmware == "ui"   ? ESiteFirmware::UI
                                            : ESiteFirmware::Both;
    options.SameVersion = args.Get("same-version", "skip") == "reinstall" ? ESameVersion::Reinstall
                                                                          : ESameVersion::Skip;
    std::set<int> series;
    for (const std::string& letter : CommaList(args.Get("series", "E,F,H,T"))) {
        series.insert(static_cast<int>(std::string("EFHT").find(platform::UpperAscii(letter)[0])));
    }

    std::unique_ptr<platform::TScaledSleeper> scaled;
    if (const std::optional<int> status = PrepareUpgradeRun(context, "batch", scaled)) {
        return *status;
    }
    TCliHost host;
    host.Queue().BindToCurrentThread();
    THostScope scope(host, scaled.get());

    auto collected = CollectCameras(args, defaults, host);
    if (auto* error = std::get_if<TMessage>(&collected)) {
        PrintUsageError(*error, "batch");
        return ExitUsage;
    }
    std::vector<TSiteCamera> cameras;
    for (TSiteCamera& camera : std::get<std::vector<TSiteCamera>>(collected)) {
        if (series.count(camera.SeriesIndex) != 0) {
            cameras.push_back(std::move(camera));
        }
    }
    if (cameras.empty()) {
        PrintError({"IDS_CLI_BATCH_NOCAMERA", {}});
        return ExitFailed;
    }
    PrintTrace({"IDS_CLI_TRACE_BATCH",
                {std::to_string(cameras.size()), std::to_string(options.Parallel)}});

    TSiteUpgrade site(cameras, options, host);
    const auto name = [&site](std::size_t camera) { return site.Cameras()[camera].Name(); };
    const bool quiet = Verbosity() == TVerbosity::Quiet;
    site.OnLog = [&](std::size_t camera, bool isSystem, const std::string& key,
                     const std::string& text) {
        if (json) {
            std::cout << "{\"event\":\"log\",\"camera\":" << JsonString(name(camera))
                      << ",\"firmware\":\"" << FirmwareName(isSystem)
                      << "\",\"key\":" << JsonString(key) << ",\"text\":" << JsonString(text)
                      << "}" << std::endl;
        } else if (!quiet) {
            std::cout << name(camera) << " " << FormatLogLine(text) << std::endl;
        }
    };
    site.OnProgress = [&](std::size_t camera, bool isSystem, const TProgress& p) {
        // The steps the upgrade command's stream reports; the others show in the log lines.
        const bool reported = p.Phase == EUpgradePhase::Download ||
                              p.Phase == EUpgradePhase::Check ||
                              p.Phase == EUpgradePhase::Unpack ||
                              p.Phase == EUpgradePhase::Upload ||
                              p.Phase == EUpgradePhase::RebootWait ||
                              p.Phase == EUpgradePhase::Poll;
        if (!json || !reported) {
            return;
        }
        std::cout << "{\"event\":\"progress\",\"camera\":" << JsonString(name(camera))
                  << ",\"firmware\":\"" << FirmwareName(isSystem) << "\",\"step\":\""
                  << PhaseName(p.Phase) << "\",\"done\":" << p.Done << ",\"total\":" << p.Total
                  << (p.SecondsLeft >= 0 ? ",\"seconds_left\":" + std::to_string(p.SecondsLeft) : "")
                  << "}\n";
    };
    site.OnNotice = [&](std::size_t camera, bool isSystem, const std::string& text) {
        if (json) {
            std::cout << "{\"event\":\"notice\",\"camera\":" << JsonString(name(camera))
                      << ",\"firmware\":\"" << FirmwareName(isSystem)
                      << "\",\"text\":" << JsonString(text) << "}" << std::endl;
        } else {
            std::cerr << ProgramName << ": " << name(camera) << " " << text << std::endl;
        }
    };
    site.OnRunFinished = [&](std::size_t camera, const TSiteRunResult& run) {
        if (json) {
            std::cout << "{\"event\":\"result\",\"camera\":" << JsonString(name(camera))
                      << ",\"firmware\":\"" << FirmwareName(run.IsSystem)
                      << "\",\"outcome\":" << JsonString(run.OutcomeKey)
                      << ",\"result\":" << JsonString(OutcomeName(run.Outcome))
                      << ",\"version_before\":" << JsonString(run.VersionBefore)
                      << ",\"version_offered\":" << JsonString(run.VersionOffered)
                      << ",\"version_after\":" << JsonString(run.VersionAfter) << "}"
                      << std::endl;
        } else if (quiet && !run.Log.empty()) {
            std::cout << name(camera) << " " << run.Log.back() << std::endl;
        }
    };
    bool ended = false;
    site.OnFinished = [&ended] { ended = true; };

    {
        // The first Ctrl-C starts no new camera; the next ends the program, once an upload
        // under way has been finished.
        const TUploadWatch watch([&site] { return site.UploadUnderWay(); });
        const TFirstInterrupt interrupt([&site] {
            site.Stop();
            const std::string notice = Text({"IDS_CLI_BATCH_STOPPING", {}});
            std::fputs((std::string(ProgramName) + ": " + notice + "\n").c_str(), stderr);
            std::fflush(stderr);
        });
        site.Start();
        while (!ended) {
            host.Queue().WaitAndRun(QueueWaitMs);
        }
        site.Wait();
    }

    const std::vector<TSiteCameraResult>& results = site.Results();
    if (json) {
        std::cout << SummaryJson(results) << std::endl;
    } else {
        PrintSummaryTable(results);
    }
    int status = Summarize(results).AllGood() ? ExitOk : ExitFailed;
    if (args.Has("report")) {
        const std::string path = args.Get("report", "");
        if (const int error = WriteSiteReport(path, results); error != 0) {
            PrintError({"IDS_CLI_BATCH_NOREPORT", {path, platform::ErrorText(error)}});
            status = ExitFailed;
        }
    }
    return status;
}

// "E,F,H,T" or any part of it: series letters separated by commas.
TValueCheck CheckSeriesList() {
    return [](const std::string& option, std::string& value) -> std::optional<TMessage> {
        std::string normal;
        for (const std::string& part : CommaList(value)) {
            const std::string letter = platform::UpperAscii(platform::Trim(part));
            if (letter.size() != 1 || std::string("EFHT").find(letter) == std::string::npos) {
                return TMessage{"IDS_CLI_BADCHOICE", {option, "E,F,H,T", value}};
            }
            normal += (normal.empty() ? "" : ",") + letter;
        }
        value = normal;
        return std::nullopt;
    };
}

} // namespace

TCommandSpec BatchCommand() {
    TCommandSpec c =
        NewCommand("batch", "upgrade many cameras at once, with a summary and a report", R"(
        Upgrades a whole site: the cameras of a CSV list (--cameras) or every camera that a search
        of the LAN lists (--discover), several at a time. Each camera gets what one press of
        "Upgrade Firmware" gives it: by default its system firmware, then its UI firmware. Each
        catalogue is read once and each package downloaded and checked once, however many cameras
        need it. One camera's failure never stops the others.

        The list file is CSV with a header line naming its columns, out of series, ip, port, user
        and password (series, ip and port are required; a user or password column left out, or an
        empty field, takes --user and --password). Blank lines and lines beginning with "#" are
        skipped; a field in double quotes may hold commas. A bad line is a usage error that names
        its line, and then nothing starts.

        Every log line is printed as the upgrade command prints it, with the camera's address and
        port in front; at the end comes a summary table, one row per camera: address, series, system
        and UI versions before and after, outcome. A camera that already runs the offered version is
        skipped (--same-version reinstall installs it again).

        Exit status 0 when every camera was upgraded (the new version read back) or had nothing to
        install, 1 when any camera failed or was not started, 2 for a usage error. The first Ctrl-C
        starts no new camera and lets the running ones finish; a second ends the program at once,
        except that an upload under way is finished first.
    )");
    c.Options = {
        {.Long = "cameras",
         .Value = "FILE",
         .Help = "the CSV list of the cameras",
         .Complete = TComplete::Files},
        {.Long = "discover",
         .Value = "SECONDS",
         .Help = "instead of a list: every camera that a search of this many seconds lists, "
                 "from 1 to " +
                 std::to_string(MaxDiscoverSeconds),
         .Check = CheckWholeNumber(1, MaxDiscoverSeconds)},
        {.Long = "series",
         .Value = "E,F,H,T",
         .Help = "only cameras of these series, separated by commas (default all four)",
         .Check = CheckSeriesList()},
        {.Long = "parallel",
         .Value = "N",
         .Help = "how many cameras are upgraded at the same time, from 1 to " +
                 std::to_string(TSiteOptions::MaxParallel) + " (default " +
                 std::to_string(TSiteOptions::DefaultParallel) + ")",
         .Check = CheckWholeNumber(1, TSiteOptions::MaxParallel)},
        FirmwareOption({"both", "system", "ui"}),
        {.Long = "same-version",
         .Value = "skip|reinstall",
         .Help = "what to do with a camera that already runs the offered version: skip it "
                 "(default) or install it again",
         .Words = {"skip", "reinstall"},
         .Complete = TComplete::Words,
         .Check = CheckOneOf({"skip", "reinstall"}, false)},
        UserOption("the cameras' account where the list gives none"),
        PasswordOption("the cameras' password where the list gives none", ""),
        PasswordFileOption("read that password from the first line of FILE"),
        ServerOption("where the firmware comes from: the firmware server's base URL, or a "
                     "file:// URL or a folder with the same layout"),
        BroadcastOption("where the search probes go (--discover, and the E series' version "
                        "search)"),
        InterfaceOption("search on this network interface only"),
        {.Long = "report",
         .Value = "FILE",
         .Help = "also write the whole result into FILE: JSON, or CSV when FILE ends in "
                 ".csv (each camera's address, port and series, and each run's firmware, "
                 "outcome, versions before, offered and after, start and end time and log)",
         .Complete = TComplete::Files},
        {.Long = "json",
         .Help = "print one JSON object per line instead: the upgrade command's events, each "
                 "with a \"camera\" field (\"ADDR:PORT\"), and a final {\"event\":\"summary\"}"},
    };
    c.Examples = {
        "torvane-cli batch --cameras site.csv --parallel 8 --report site-report.json",
        "torvane-cli batch --discover 5 --series F,H --password-file ~/.camera-password",
        "torvane-cli batch --cameras site.csv --same-version reinstall --json",
    };
    c.Run = RunBatch;
    return c;
}

} // namespace torvane::cli
