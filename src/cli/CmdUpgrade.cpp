// torvane-cli upgrade: one press of the window's "Upgrade Firmware" button (or of its UI
// firmware button), with the entry fields given as options and the operation log printed
// to standard output exactly as the window shows it.

#include "cli/CliArgs.h"
#include "cli/Commands.h"
#include "i18n/Deployment.h"
#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "platform/Host.h"
#include "platform/Interfaces.h"
#include "platform/Sleeper.h"
#include "platform/Text.h"
#include "upgrade/uUpgradeFactory.h"
#include "upgrade/uUpgradeThread.h"

#include <cerrno>
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

void PrintUpgradeUsage() {
    std::cerr <<
        "usage: torvane-cli upgrade --series E|F|H|T --ip ADDR [--port N] [--user U]\n"
        "           [--password P] [--firmware system|ui|both] [--lang CODE] [--server URL]\n"
        "           [--broadcast auto|ADDR] [--interface NAME] [--yes]\n"
        "\n"
        "  --series     the camera's series\n"
        "  --ip         the camera's address\n"
        "  --port       its HTTP port (default 81)\n"
        "  --user       account (default admin)\n"
        "  --password   password (default 135790)\n"
        "  --firmware   system, ui, or both: system firmware, then UI firmware (default)\n"
        "  --lang       language of the log: en, cn, b5 (default en)\n"
        "  --server     base URL of the firmware server (its path is /FM/)\n"
        "  --broadcast  destination of the E series' version search: auto (every\n"
        "               network interface) or an address (default: the deployment setting)\n"
        "  --interface  send that search out of this network interface only\n"
        "  --yes        answer Yes when asked whether to install the version the camera\n"
        "               already runs and standard input is not a terminal (else No)\n"
        "\n"
        "Exit status: 0 every run ended with the camera working again, 1 a run ended\n"
        "otherwise, 2 a usage error.\n"
        "\n"
        "For tests only: TORVANE_CLI_TIME_SCALE=F (0 < F <= 1) multiplies every fixed wait\n"
        "and network deadline by F (with a floor for deadlines).\n";
}

int UsageError(const std::string& message) {
    std::cerr << "torvane-cli upgrade: " << message << "\n";
    PrintUpgradeUsage();
    return ExitUsage;
}

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

// The entry fields of the window, as the options give them.
struct TEntries {
    int SeriesIndex = -1;
    std::string Ip;
    std::string Port = "81";
    std::string User = "admin";
    std::string Password = "135790";
};

class TUpgradeCommand {
public:
    TUpgradeCommand(const TEntries& entries, platform::TConsoleHost& host)
        : FEntries(entries), FHost(host) {}

    // One run of the given firmware kind: the entry checks, then the worker. True when the
    // run ended with the camera working again.
    bool CheckAndStart(bool isSystem) {
        if (FEntries.SeriesIndex < 0) {
            PrintLogLine(GetStrRes("IDS_NOIPCTYPE"));
            return false;
        }
        const std::string user = platform::Trim(FEntries.User);
        if (user.empty()) {
            PrintLogLine(GetStrRes("IDS_NOLOGINUSER"));
            return false;
        }
        const std::string ip = platform::Trim(FEntries.Ip);
        if (ip.empty()) {
            PrintLogLine(GetStrRes("IDS_NOIPADDR"));
            return false;
        }
        // A 32-bit integer as the window reads it; anything else reads as 0.
        long long port = platform::ToIntDef(platform::Trim(FEntries.Port), 0);
        if (port < INT_MIN || port > INT_MAX) {
            port = 0;
        }
        if (port == 0) {
            PrintLogLine(GetStrRes("IDS_NOPORT"));
            return false;
        }
        return StartUpgrade(user, platform::Trim(FEntries.Password), isSystem,
                            static_cast<int>(port), ip);
    }

private:
    bool StartUpgrade(const std::string& user, const std::string& password, bool isSystem,
                      int port, const std::string& ip) {
        std::unique_ptr<TUpgradeObject> upgrade =
            TUpgradeFactory::CreateUpgrade(FEntries.SeriesIndex, isSystem);
        if (!upgrade) {
            std::cerr << "torvane-cli upgrade: no adapter for this series\n";
            return false;
        }
        upgrade->SetUser(user);
        upgrade->SetPassword(password);
        upgrade->SetIP(ip);
        upgrade->SetPort(port);

        bool ended = false;
        bool succeeded = false;
        auto* worker = new TUpgradeThread(std::move(upgrade));
        worker->OnLog = [](const std::string& text) { PrintLogLine(text); };
        worker->OnTerminate = [worker, &ended, &succeeded] {
            succeeded = worker->Succeeded();
            ended = true;
        };
        worker->Start();
        while (!ended) {
            FHost.Queue().WaitAndRun(QueueWaitMs);
        }
        return succeeded;
    }

    const TEntries& FEntries;
    platform::TConsoleHost& FHost;
};

// Installs the host and the sleeper for the command's life and takes them back at its end,
// once no worker is left that could still reach them.
class THostScope {
public:
    THostScope(platform::IHost& host, platform::ISleeper* sleeper) {
        platform::SetHost(&host);
        if (sleeper != nullptr) {
            platform::SetSleeper(sleeper);
        }
    }
    ~THostScope() {
        TUpgradeThread::WaitUntilAllEnded();
        platform::SetSleeper(nullptr);
        platform::SetHost(nullptr);
    }
    THostScope(const THostScope&) = delete;
    THostScope& operator=(const THostScope&) = delete;
};

} // namespace

int RunUpgrade(int argc, char** argv) {
    TCliArgs args;
    std::string error;
    if (!ParseArgs(argc, argv, 2,
                   {"series", "ip", "port", "user", "password", "firmware", "lang", "server",
                    "broadcast", "interface"},
                   {"yes"}, args, error)) {
        return UsageError(error);
    }
    if (!args.Positional.empty()) {
        return UsageError("unexpected argument " + args.Positional.front());
    }

    TEntries entries;
    if (args.Has("series")) {
        const auto index = SeriesIndexOf(args.Get("series", ""));
        if (!index) {
            return UsageError("unknown series " + args.Get("series", "") +
                              " (give E, F, H or T)");
        }
        entries.SeriesIndex = *index;
    }
    entries.Ip = args.Get("ip", entries.Ip);
    entries.Port = args.Get("port", entries.Port);
    entries.User = args.Get("user", entries.User);
    entries.Password = args.Get("password", entries.Password);

    const std::string firmware = args.Get("firmware", "both");
    std::vector<bool> runs; // IsSystem of each run, in order
    if (firmware == "system") {
        runs = {true};
    } else if (firmware == "ui") {
        runs = {false};
    } else if (firmware == "both") {
        runs = {true, false};
    } else {
        return UsageError("unknown firmware " + firmware + " (give system, ui or both)");
    }

    const std::string broadcast = platform::Trim(args.Get("broadcast", ""));
    if (args.Has("broadcast") && !platform::IsValidBroadcastSetting(broadcast)) {
        return UsageError("--broadcast takes auto or an IPv4 address");
    }
    const std::string searchInterface = platform::Trim(args.Get("interface", ""));
    if (args.Has("interface") && !platform::IsValidInterfaceName(searchInterface)) {
        return UsageError("--interface takes the name of a network interface such as eth0");
    }

    const std::string server = args.Get("server", "");
    if (args.Has("server") && !platform::StartsWith(platform::LowerAscii(server), "http://") &&
        !platform::StartsWith(platform::LowerAscii(server), "https://")) {
        return UsageError("--server needs an http:// or https:// URL");
    }

    std::unique_ptr<platform::TScaledSleeper> scaled;
    if (const char* scale = std::getenv("TORVANE_CLI_TIME_SCALE"); scale != nullptr) {
        char* end = nullptr;
        errno = 0;
        const double factor = std::strtod(scale, &end);
        if (errno != 0 || end == scale || *end != '\0' || !(factor > 0.0 && factor <= 1.0)) {
            return UsageError("TORVANE_CLI_TIME_SCALE must be a number above 0 and at most 1");
        }
        scaled = std::make_unique<platform::TScaledSleeper>(factor);
    }

    TfrmStrRes holder;
    if (!holder.PacksWritten()) {
        std::cerr << "torvane-cli upgrade: the language packs could not be written: "
                  << holder.ErrorText() << "\n";
        return ExitFailed;
    }
    SetLanguage(args.Get("lang", "en"));
    if (args.Has("server")) {
        SetFirmwareServerUrl(server);
    }
    if (args.Has("broadcast")) {
        SetBroadcastAddress(broadcast);
    }
    if (args.Has("interface")) {
        SetSearchInterface(searchInterface);
    }

    platform::TConsoleHost host;
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
        if (!command.CheckAndStart(runs[i])) {
            allSucceeded = false;
        }
    }
    return allSucceeded ? ExitOk : ExitFailed;
}

} // namespace torvane::cli
