// torvane-cli upgrade: one press of the window's "Upgrade Firmware" button (or of its UI
// firmware button), with the entry fields given as options and the operation log printed
// to standard output exactly as the window shows it.

#include "cli/Checks.h"
#include "cli/Commands.h"
#include "cli/Password.h"
#include "cli/QuitSignals.h"
#include "cli/RunSupport.h"
#include "i18n/Deployment.h"
#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "platform/Folders.h"
#include "platform/Host.h"
#include "platform/Sleeper.h"
#include "platform/Text.h"
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

// The camera's factory account and password, and its usual HTTP port.
const char* const DefaultUser = "admin";
const char* const DefaultPassword = "135790";
const char* const DefaultPort = "81";

// Series letter to series index (E 0, F 1, H 2, T 3).
std::optional<int> SeriesIndexOf(const std::string& letter) {
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

void PrintLogLine(const std::string& text) {
    std::cout << FormatLogLine(text) << std::endl;
}

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
    TUpgradeCommand(const TEntries& entries, platform::TConsoleHost& host)
        : FEntries(entries), FHost(host) {}

    // One run of the given firmware kind: the entry checks, then the worker. True when the
    // run ended with the camera working again. Under -q only the run's last log line, its
    // outcome, is printed.
    bool CheckAndStart(bool isSystem) {
        FLastLine.clear();
        const bool ok = CheckAndStartRun(isSystem);
        if (Verbosity() == TVerbosity::Quiet && !FLastLine.empty()) {
            PrintLogLine(FLastLine);
        }
        return ok;
    }

private:
    void Log(const std::string& text) {
        if (Verbosity() == TVerbosity::Quiet) {
            FLastLine = text;
        } else {
            PrintLogLine(text);
        }
    }

    bool CheckAndStartRun(bool isSystem) {
        if (FEntries.SeriesIndex < 0) {
            Log(GetStrRes("IDS_NOIPCTYPE"));
            return false;
        }
        const std::string user = platform::Trim(FEntries.User);
        if (user.empty()) {
            Log(GetStrRes("IDS_NOLOGINUSER"));
            return false;
        }
        const std::string ip = platform::Trim(FEntries.Ip);
        if (ip.empty()) {
            Log(GetStrRes("IDS_NOIPADDR"));
            return false;
        }
        // A 32-bit integer as the window reads it; anything else reads as 0.
        long long port = platform::ToIntDef(platform::Trim(FEntries.Port), 0);
        if (port < INT_MIN || port > INT_MAX) {
            port = 0;
        }
        if (port == 0) {
            Log(GetStrRes("IDS_NOPORT"));
            return false;
        }
        return StartUpgrade(user, platform::Trim(FEntries.Password), isSystem,
                            static_cast<int>(port), ip);
    }

    bool StartUpgrade(const std::string& user, const std::string& password, bool isSystem,
                      int port, const std::string& ip) {
        std::unique_ptr<TUpgradeObject> upgrade =
            TUpgradeFactory::CreateUpgrade(FEntries.SeriesIndex, isSystem);
        if (!upgrade) {
            PrintError({"IDS_CLI_NOADAPTER", {FEntries.Series}});
            return false;
        }
        upgrade->SetUser(user);
        upgrade->SetPassword(password);
        upgrade->SetIP(ip);
        upgrade->SetPort(port);

        bool ended = false;
        bool succeeded = false;
        TUpgradeThread worker(std::move(upgrade), FHost);
        worker.OnLog = [this](const std::string& text) { Log(text); };
        worker.OnTerminate = [&worker, &ended, &succeeded] {
            succeeded = worker.Succeeded();
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
        return succeeded;
    }

    const TEntries& FEntries;
    platform::TConsoleHost& FHost;
    std::string FLastLine; // under -q: the run's latest log line
};

int RunUpgrade(const TCommandContext& context) {
    const TParsedArgs& args = context.Args;
    TEntries entries;
    entries.Series = args.Get("series", "");
    entries.SeriesIndex = SeriesIndexOf(entries.Series).value_or(-1);
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

    TUpgradeCommand command(entries, host);
    bool allSucceeded = true;
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
        const bool ok = command.CheckAndStart(runs[i]);
        PrintTrace({ok ? "IDS_CLI_TRACE_RUNOK" : "IDS_CLI_TRACE_RUNFAILED",
                    {std::to_string(i + 1), Seconds(std::chrono::steady_clock::now() - start)}});
        if (!ok) {
            allSucceeded = false;
        }
    }
    return allSucceeded ? ExitOk : ExitFailed;
}

} // namespace

TCommandSpec UpgradeCommand() {
    TCommandSpec c;
    c.Name = "upgrade";
    c.Summary = "upgrade the firmware of one camera, printing the operation log";
    c.Description =
        "One press of the window's \"Upgrade Firmware\" button: logs in to the camera, reads "
        "its version and the firmware server's catalogue, downloads and checks the package, "
        "uploads it and waits until the camera runs again; by default the system firmware "
        "first, then the UI firmware. The operation log goes to standard output exactly as "
        "the window shows it.\n"
        "\n"
        "Every option is checked before anything is sent: a missing --series or --ip, an "
        "address that is neither an IPv4 address nor a host name that resolves, or a port "
        "outside 1 to 65535 is a usage error.\n"
        "\n"
        "Interrupted (Ctrl-C, SIGTERM, SIGHUP), it deletes its language packs and ends by "
        "that signal; in the middle of a firmware upload it lets the upload finish first "
        "(a second signal ends it at once).";
    c.Options = {
        {.Long = "series",
         .Value = "E|F|H|T",
         .Help = "the camera's series",
         .Required = true,
         .Words = {"E", "F", "H", "T"},
         .Complete = TComplete::Words,
         .Check = CheckOneOf({"E", "F", "H", "T"}, true)},
        {.Long = "ip",
         .Value = "ADDR",
         .Help = "the camera's IPv4 address, or a host name that resolves to one",
         .Required = true,
         .Check = CheckHost()},
        {.Long = "port",
         .Value = "N",
         .Help = std::string("the camera's HTTP port, 1 to 65535 (default ") + DefaultPort + ")",
         .Check = CheckWholeNumber(1, 65535)},
        {.Long = "user",
         .Value = "NAME",
         .Help = std::string("the camera's account (default ") + DefaultUser + ")"},
        {.Long = "password",
         .Value = "PASSWORD",
         .Help = std::string("the camera's password (default ") + DefaultPassword +
                 "). \"-\" asks for it on the terminal without echo, or reads a line of "
                 "standard input when that is no terminal. A password written here can be "
                 "read by every user of the machine in the process list: prefer "
                 "--password-file, TORVANE_PASSWORD or \"-\"."},
        {.Long = "password-file",
         .Value = "FILE",
         .Help = "read the password from the first line of FILE",
         .Complete = TComplete::Files},
        {.Long = "firmware",
         .Value = "system|ui|both",
         .Help = "the system firmware, the UI firmware, or both: system, then UI (default)",
         .Words = {"system", "ui", "both"},
         .Complete = TComplete::Words,
         .Check = CheckOneOf({"system", "ui", "both"}, false)},
        {.Long = "server",
         .Value = "URL|DIR",
         .Help = "where the firmware comes from: the firmware server's base URL (http:// or "
                 "https://), or a file:// URL or a folder with the same layout, such as one "
                 "made by mirror (default: the server setting of option.ini, else " +
                 DefaultFirmwareServerUrl() + ")",
         .Complete = TComplete::Folders,
         .Check = CheckFirmwareSource()},
        {.Long = "broadcast",
         .Value = "auto|ADDR",
         .Help = "where the E series' version search goes: auto (out of every network "
                 "interface) or one IPv4 address (default: the broadcast setting of "
                 "option.ini, else " + DefaultBroadcastAddress() + ")",
         .Check = CheckBroadcast()},
        {.Long = "interface",
         .Value = "NAME",
         .Help = "send that search out of this network interface only (default: the "
                 "interface setting of option.ini, else every interface)",
         .Check = CheckInterfaceName()},
        {.Long = "yes",
         .Help = "answer Yes when asked whether to install the version the camera already "
                 "runs and standard input is no terminal (else the answer is No)"},
    };
    c.UsesSettings = true;
    c.Examples = {
        "torvane-cli upgrade --series F --ip 192.0.2.10 --port 81 --password -",
        "torvane-cli upgrade --series H --ip 192.0.2.12 --server /media/usb/firmware",
        "TORVANE_PASSWORD=secret torvane-cli upgrade --series H --ip cam.example.org -q",
    };
    c.Run = RunUpgrade;
    return c;
}

} // namespace torvane::cli
