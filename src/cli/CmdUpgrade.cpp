// torvane-cli upgrade: one press of the window's "Upgrade Firmware" button (or of its UI
// firmware button), with the entry fields given as options and the operation log printed
// to standard output exactly as the window shows it.

#include "cli/Checks.h"
#include "cli/Commands.h"
#include "cli/Password.h"
#include "cli/QuitSignals.h"
#include "cli/RunSupport.h"
#include "cli/Search.h"
#include "cli/SharedOptions.h"
#include "discovery/DevInfoJson.h"
#include "discovery/SR.h"
#include "i18n/Deployment.h"
#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "platform/EnumTable.h"
#include "platform/Folders.h"
#include "platform/Host.h"
#include "platform/Resolve.h"
#include "platform/Sleeper.h"
#include "platform/Terminal.h"
#include "platform/Text.h"
#include "series/SR_924.h"
#include "upgrade/Progress.h"
#include "upgrade/uUpgradeFactory.h"
#include "upgrade/uUpgradeThread.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <vector>

namespace torvane::cli {

namespace {

// The pause between the system firmware run and the UI firmware run of one press.
constexpr int PauseBetweenRunsMs = 1000;
// How long the main thread waits for work before looking again whether the run ended.
constexpr int QueueWaitMs = 1000;

// The camera's usual HTTP port.
const char* const DefaultPort = "81";

// A run's status in the JSON result; the last row serves ERunClass::Failed.
constexpr platform::TEnumText<ERunClass> ClassNames[] = {
    {ERunClass::Installed, "installed"},
    {ERunClass::NothingDone, "nothing-to-install"},
    {ERunClass::Failed, "failed"},
};

// Series letter to series index (E 0, F 1, H 2, T 3).
std::optional<int> SeriesLetterIndex(const std::string& letter) {
    static const std::string letters = "EFHT";
    if (letter.size() != 1) {
        return std::nullopt;
    }
    const auto pos = letters.find(platform::UpperAscii(letter)[0]);
    if (pos == std::string::npos) {
        return std::nullopt;
    }
    return static_cast<int>(pos);
}

// How long --series auto searches.
constexpr int SeriesSearchSeconds = 3;

// What the command prints of a run: the log lines on standard output (plain, or as JSON
// objects with --json, then also the progress and each run's result); in plain mode a
// progress line on standard error that is rewritten in place, when it is wanted.
class TRunOutput {
public:
    TRunOutput(bool json, bool progressLine) : FJson(json), FProgressLine(progressLine) {}
    TRunOutput(const TRunOutput&) = delete;
    TRunOutput& operator=(const TRunOutput&) = delete;
    ~TRunOutput() { ClearProgress(); }

    void SetFirmware(EFirmwareKind kind) { FFirmware = kind; }

    // One log line and its key. Under -q in plain mode only the run's last line is printed
    // (by EndRun).
    void Line(const std::string& key, const std::string& text) {
        if (FJson) {
            Emit("{\"event\":\"log\",\"firmware\":" + Firmware() + ",\"key\":" + JsonString(key) +
                 ",\"text\":" + JsonString(text) + "}");
            return;
        }
        if (Verbosity() == TVerbosity::Quiet) {
            FLastLine = text;
            return;
        }
        ClearProgress();
        std::cout << FormatLogLine(text) << std::endl;
    }

    void Progress(const TProgress& p) {
        if (FJson) {
            if (!InJsonStream(p.Phase)) {
                return;
            }
            std::string object = "{\"event\":\"progress\",\"firmware\":" + Firmware() +
                                 ",\"step\":\"" + PhaseName(p.Phase) +
                                 "\",\"done\":" + std::to_string(p.Done) +
                                 ",\"total\":" + std::to_string(p.Total);
            if (p.SecondsLeft >= 0) {
                object += ",\"seconds_left\":" + std::to_string(p.SecondsLeft);
            }
            Emit(object + "}");
            return;
        }
        if (!FProgressLine) {
            return;
        }
        const std::string text =
            Text({FFirmware == EFirmwareKind::UI ? "IDS_CLI_UIFIRMWARE" : "IDS_CLI_SYSTEMFIRMWARE",
                  {}}) +
            GetStrRes("IDS_STEP_SEPARATOR") + ProgressText(p);
        // Blanks cover what is left of a longer line before.
        const std::size_t width = DisplayWidth(text);
        std::cerr << '\r' << text
                  << std::string(FShownWidth > width ? FShownWidth - width : 0, ' ')
                  << std::flush;
        FShownWidth = width;
    }

    // The end of a run: under -q its last line; with --json its result object.
    void EndRun(const TRunResult& result) {
        ClearProgress();
        if (FJson) {
            std::string object =
                "{\"event\":\"result\",\"firmware\":" + Firmware() +
                ",\"outcome\":" + JsonString(result.OutcomeKey) +
                ",\"version_before\":" + JsonString(result.VersionBefore) +
                ",\"version_offered\":" + JsonString(result.VersionOffered) +
                ",\"version_after\":" + JsonString(result.VersionAfter) +
                ",\"series\":" + JsonString(result.Series) + ",\"camera\":" +
                JsonString(result.Address.empty()
                               ? std::string()
                               : result.Address + ":" + std::to_string(result.Port)) +
                ",\"working\":" + (result.Working ? "true" : "false") +
                ",\"installed\":" + (result.Installed ? "true" : "false") + ",\"status\":\"" +
                platform::RowFor(ClassNames, result.Class()).Text +
                "\",\"text\":" + JsonString(result.OutcomeText) + "}";
            Emit(object);
            return;
        }
        if (Verbosity() == TVerbosity::Quiet && !FLastLine.empty()) {
            std::cout << FormatLogLine(FLastLine) << std::endl;
        }
        FLastLine.clear();
    }

    // Takes the progress line off the terminal.
    void ClearProgress() {
        if (FShownWidth > 0) {
            std::cerr << '\r' << std::string(FShownWidth, ' ') << '\r' << std::flush;
            FShownWidth = 0;
        }
    }

private:
    // The steps the JSON stream reports; the others are marked by their log lines.
    static bool InJsonStream(EUpgradePhase phase) {
        switch (phase) {
        case EUpgradePhase::Download:
        case EUpgradePhase::Check:
        case EUpgradePhase::Unpack:
        case EUpgradePhase::Upload:
        case EUpgradePhase::RebootWait:
        case EUpgradePhase::Poll:
            return true;
        default:
            return false;
        }
    }
    [[nodiscard]] std::string Firmware() const {
        return std::string("\"") + FirmwareName(FFirmware) + "\"";
    }
    static void Emit(const std::string& object) { std::cout << object << std::endl; }

    bool FJson;
    bool FProgressLine;
    EFirmwareKind FFirmware = EFirmwareKind::System;
    std::size_t FShownWidth = 0; // of the progress line on standard error
    std::string FLastLine;       // under -q: the run's latest log line
};

std::string Seconds(std::chrono::steady_clock::duration d) {
    const auto tenths = std::chrono::duration_cast<std::chrono::milliseconds>(d).count() / 100;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

// The entry fields of the window, as the options give them.
struct TEntries {
    int SeriesIndex = -1;
    std::string Series;
    std::string Ip;
    std::string Port = DefaultPort;
    std::string User = DefaultUser;
    std::string Password = DefaultPassword;
};

class TUpgradeCommand {
public:
    TUpgradeCommand(const TEntries& entries, platform::TConsoleHost& host, TRunOutput& output)
        : FEntries(entries), FHost(host), FOutput(output) {}

    // One run of the given firmware kind: the entry checks, then the worker. Its result.
    TRunResult CheckAndStart(bool isSystem) {
        FResult = TRunResult{};
        FResult.Firmware = isSystem ? EFirmwareKind::System : EFirmwareKind::UI;
        FOutput.SetFirmware(FResult.Firmware);
        CheckAndStartRun(isSystem);
        FOutput.EndRun(FResult);
        return FResult;
    }

private:
    // A line of the entry checks, before any worker: it is the run's outcome.
    void Refuse(const char* key) {
        FResult.OutcomeKey = key;
        FResult.OutcomeText = GetStrRes(key);
        FOutput.Line(key, FResult.OutcomeText);
    }

    void CheckAndStartRun(bool isSystem) {
        if (FEntries.SeriesIndex < 0) {
            Refuse("IDS_NOIPCTYPE");
            return;
        }
        const std::string user = platform::Trim(FEntries.User);
        if (user.empty()) {
            Refuse("IDS_NOLOGINUSER");
            return;
        }
        const std::string ip = platform::Trim(FEntries.Ip);
        if (ip.empty()) {
            Refuse("IDS_NOIPADDR");
            return;
        }
        // A 32-bit integer as the window reads it; anything else reads as 0.
        long long port = platform::ToIntDef(platform::Trim(FEntries.Port), 0);
        if (port < INT_MIN || port > INT_MAX) {
            port = 0;
        }
        if (port == 0) {
            Refuse("IDS_NOPORT");
            return;
        }
        StartUpgrade(user, platform::Trim(FEntries.Password), isSystem, static_cast<int>(port),
                     ip);
    }

    void StartUpgrade(const std::string& user, const std::string& password, bool isSystem,
                      int port, const std::string& ip) {
        std::unique_ptr<TUpgradeObject> upgrade =
            TUpgradeFactory::CreateUpgrade(FEntries.SeriesIndex, isSystem);
        if (!upgrade) {
            PrintError({"IDS_CLI_NOADAPTER", {FEntries.Series}});
            return;
        }
        upgrade->SetUser(user);
        upgrade->SetPassword(password);
        upgrade->SetIP(ip);
        upgrade->SetPort(port);

        bool ended = false;
        TUpgradeThread worker(std::move(upgrade), FHost);
        worker.OnLogKey = [this](const std::string& key, const std::string& text) {
            FOutput.Line(key, text);
        };
        worker.OnProgress = [this](const TProgress& p) { FOutput.Progress(p); };
        worker.OnTerminate = [this, &worker, &ended] {
            FResult = worker.Result();
            ended = true;
        };
        // A signal in the middle of the upload lets it finish first (QuitSignals.h).
        const TUploadWatch watch([&worker] { return worker.UploadUnderWay(); });
        worker.Start();
        // The main thread shows the worker's lines until its completion has run; after
        // that the worker needs it no more, and the end of this scope joins its thread.
        while (!ended) {
            FHost.Queue().WaitAndRun(QueueWaitMs);
        }
    }

    const TEntries& FEntries;
    platform::TConsoleHost& FHost;
    TRunOutput& FOutput;
    TRunResult FResult;
};

// --series auto: a short search with the window's probes on the configured broadcast
// address; the series of the camera that answers from ip (and port, when one answers
// there). Empty when none does.
std::string SearchSeries(const std::string& ip, int port, platform::TMainQueue& queue) {
    std::uint32_t wanted = 0;
    std::string error;
    if (!platform::ResolveIPv4(ip, wanted, error)) {
        return {};
    }
    const std::vector<TDevInfo> found = SearchCameras(queue, SeriesSearchSeconds, false);
    std::string series;
    for (const TDevInfo& d : found) {
        std::uint32_t address = 0;
        if (SeriesIndexOf(d.nType) < 0 || !platform::ResolveIPv4(d.szIPAddr, address, error) ||
            address != wanted) {
            continue;
        }
        if (d.wPort == port) {
            return DevTypeToSeries(d.nType);
        }
        if (series.empty()) {
            series = DevTypeToSeries(d.nType);
        }
    }
    return series;
}

int RunUpgrade(const TCommandContext& context) {
    const TParsedArgs& args = context.Args;
    TEntries entries;
    entries.Series = args.Get("series", "");
    const bool autoSeries = platform::LowerAscii(entries.Series) == "auto";
    entries.SeriesIndex = SeriesLetterIndex(entries.Series).value_or(-1);
    entries.Ip = args.Get("ip", entries.Ip);
    entries.Port = args.Get("port", entries.Port);
    entries.User = args.Get("user", entries.User);

    TPassword password;
    if (auto error = ObtainPassword(args, DefaultPassword, entries.User, entries.Ip, password)) {
        PrintUsageError(*error, "upgrade");
        return ExitUsage;
    }
    entries.Password = password.Text;

    const std::string firmware = args.Get("firmware", "both");
    std::vector<bool> runs; // IsSystem of each run, in order
    if (firmware == "system") {
        runs = {true};
    } else if (firmware == "ui") {
        runs = {false};
    } else {
        runs = {true, false};
    }

    std::unique_ptr<platform::TScaledSleeper> scaled;
    if (const std::optional<int> status = PrepareUpgradeRun(context, "upgrade", scaled)) {
        return *status;
    }
    if (password.Source.empty()) {
        PrintTrace({"IDS_CLI_TRACE_DEFAULTPASSWORD", {}});
    } else {
        PrintTrace({"IDS_CLI_TRACE_PASSWORD", {password.Source}});
    }

    TCliHost host;
    host.Queue().BindToCurrentThread();
    if (args.Has("yes")) {
        host.SetDefaultAnswer(platform::IDYES);
    }
    THostScope scope(host, scaled.get());

    if (autoSeries) {
        entries.Series = SearchSeries(entries.Ip, static_cast<int>(platform::ToIntDef(entries.Port, 0)),
                                      host.Queue());
        if (entries.Series.empty()) {
            PrintUsageError({"IDS_CLI_SERIESNOTFOUND", {entries.Ip, BroadcastAddress()}},
                            "upgrade");
            return ExitUsage;
        }
        entries.SeriesIndex = SeriesLetterIndex(entries.Series).value_or(-1);
        PrintNote({"IDS_CLI_SERIESFOUND", {entries.Ip, entries.Series}});
    }

    const bool json = args.Has("json");
    TRunOutput output(json, !json && (args.Has("progress") ||
                                      (platform::StderrIsTerminal() &&
                                       Verbosity() != TVerbosity::Quiet)));
    TUpgradeCommand command(entries, host, output);
    bool anyFailed = false;
    bool anyInstalled = false;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (i > 0) {
            platform::SleepMs(PauseBetweenRunsMs);
        }
        PrintTrace({"IDS_CLI_TRACE_RUN",
                    {std::to_string(i + 1), std::to_string(runs.size()),
                     Text({runs[i] ? "IDS_CLI_SYSTEMFIRMWARE" : "IDS_CLI_UIFIRMWARE", {}}),
                     entries.Series, entries.Ip, entries.Port,
                     entries.User}});
        const auto start = std::chrono::steady_clock::now();
        const TRunResult result = command.CheckAndStart(runs[i]);
        const ERunClass outcome = result.Class();
        PrintTrace({outcome == ERunClass::Installed   ? "IDS_CLI_TRACE_RUNOK"
                    : outcome == ERunClass::Failed    ? "IDS_CLI_TRACE_RUNFAILED"
                                                      : "IDS_CLI_TRACE_RUNNOTHING",
                    {std::to_string(i + 1), Seconds(std::chrono::steady_clock::now() - start)}});
        anyFailed = anyFailed || outcome == ERunClass::Failed;
        anyInstalled = anyInstalled || outcome == ERunClass::Installed;
    }
    if (anyFailed) {
        return ExitFailed;
    }
    return anyInstalled ? ExitOk : ExitNothingToInstall;
}

} // namespace

TCommandSpec UpgradeCommand() {
    TCommandSpec c =
        NewCommand("upgrade", "upgrade the firmware of one camera, printing the operation log", R"(
        One press of the window's "Upgrade Firmware" button: logs in to the camera, reads its
        version and the firmware server's catalogue, downloads and checks the package, uploads it,
        waits until the camera runs again and reads its version once more to tell whether the new
        firmware was installed; by default the system firmware first, then the UI firmware. The
        operation log goes to standard output exactly as the window shows it; while standard error
        is a terminal, a line there shows where the run stands.

        Every option is checked before anything is sent: a missing --series or --ip, an address that
        is neither an IPv4 address nor a host name that resolves, or a port outside 1 to 65535 is a
        usage error.

        Interrupted (Ctrl-C, SIGTERM, SIGHUP), it deletes its language packs and ends by that
        signal; in the middle of a firmware upload it lets the upload finish first (a second signal
        ends it at once).
    )");
    c.Options = {
        {.Long = "series",
         .Value = "E|F|H|T|auto",
         .Help = "the camera's series; auto finds it with a short LAN search (" +
                 std::to_string(SeriesSearchSeconds) +
                 " s, the probes of the window's search, sent to the broadcast address) and "
                 "says which series answered from --ip; when no camera answers from there, "
                 "that is a usage error",
         .Required = true,
         .Words = {"E", "F", "H", "T", "auto"},
         .Complete = TComplete::Words,
         .Check = CheckOneOf({"E", "F", "H", "T", "auto"}, true)},
        {.Long = "ip",
         .Value = "ADDR",
         .Help = "the camera's IPv4 address, or a host name that resolves to one",
         .Required = true,
         .Check = CheckHost()},
        {.Long = "port",
         .Value = "N",
         .Help = std::string("the camera's HTTP port, 1 to 65535 (default ") + DefaultPort + ")",
         .Check = CheckWholeNumber(1, 65535)},
        UserOption("the camera's account"),
        PasswordOption("the camera's password",
                       ", or reads a line of standard input when that is no terminal"),
        PasswordFileOption("read the password from the first line of FILE"),
        FirmwareOption({"system", "ui", "both"}),
        ServerOption("where the firmware comes from: the firmware server's base URL (http:// "
                     "or https://), or a file:// URL or a folder with the same layout, such as "
                     "one made by mirror"),
        BroadcastOption("where the E series' version search goes"),
        InterfaceOption("send that search out of this network interface only"),
        {.Long = "json",
         .Help = "print one JSON object per line on standard output instead of the log: an "
                 "object with \"event\": \"log\" for each log line (its \"key\" and its "
                 "\"text\" as the log shows it after the time), \"progress\" for where the "
                 "run stands (\"step\": download, check, unpack, upload, reboot or poll; "
                 "\"done\" and \"total\" in bytes, seconds or polls, total 0 when unknown) and, "
                 "last of each run, \"result\" (\"outcome\": the key of its last line; "
                 "\"version_before\", \"version_offered\", \"version_after\", empty where "
                 "not known; \"installed\"); every object names its \"firmware\": system or "
                 "ui"},
        {.Long = "progress",
         .Help = "show where the run stands on a line of standard error that is rewritten in "
                 "place, also when standard error is no terminal (on a terminal it is shown "
                 "anyway, except under -q)"},
        {.Long = "yes",
         .Help = "answer Yes when asked whether to install the version the camera already "
                 "runs and standard input is no terminal (else the answer is No)"},
    };
    c.Examples = {
        "torvane-cli upgrade --series F --ip 192.0.2.10 --port 81 --password -",
        "torvane-cli upgrade --series H --ip 192.0.2.12 --server /media/usb/firmware",
        "TORVANE_PASSWORD=secret torvane-cli upgrade --series H --ip cam.example.org -q",
        "torvane-cli upgrade --series auto --ip 192.0.2.10 --json",
    };
    c.Run = RunUpgrade;
    return c;
}

} // namespace torvane::cli
