#include "cli/RunSupport.h"

#include "i18n/Deployment.h"
#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "platform/Folders.h"

#include <cerrno>
#include <cstdlib>

namespace torvane::cli {

int TCliHost::MessageBox(const std::string& text, const std::string& caption, int flags) {
    return TConsoleHost::MessageBox(text, std::string(ProgramName) + ": " + caption, flags);
}

THostScope::THostScope(platform::IHost& host, platform::ISleeper* sleeper) {
    platform::SetHost(&host);
    if (sleeper != nullptr) {
        platform::SetSleeper(sleeper);
    }
}

THostScope::~THostScope() {
    platform::SetSleeper(nullptr);
    platform::SetHost(nullptr);
}

std::optional<int> PrepareUpgradeRun(const TCommandContext& context, const std::string& command,
                                     std::unique_ptr<platform::TScaledSleeper>& scaled) {
    const TParsedArgs& args = context.Args;
    if (const std::optional<std::string> scale =
            platform::EnvironmentVariable("TORVANE_CLI_TIME_SCALE")) {
        char* end = nullptr;
        errno = 0;
        const double factor = std::strtod(scale->c_str(), &end);
        if (errno != 0 || end == scale->c_str() || *end != '\0' ||
            !(factor > 0.0 && factor <= 1.0)) {
            PrintUsageError({"IDS_CLI_TIMESCALE", {"TORVANE_CLI_TIME_SCALE"}}, command);
            return ExitUsage;
        }
        scaled = std::make_unique<platform::TScaledSleeper>(factor);
    }

    if (!context.Packs.PacksWritten()) {
        PrintError({"IDS_CLI_PACKSNOTWRITTEN", {context.Packs.ErrorText()}});
        return ExitFailed;
    }
    if (args.Has("server")) {
        SetFirmwareServerUrl(args.Get("server", ""));
    } else if (FirmwareSource().Kind == EFirmwareSourceKind::Invalid) {
        PrintUsageError({"IDS_CLI_BADSETTING", {ServerSettingKey, FirmwareSource().Setting}},
                        command);
        return ExitUsage;
    }
    if (args.Has("broadcast")) {
        SetBroadcastAddress(args.Get("broadcast", ""));
    }
    if (args.Has("interface")) {
        SetSearchInterface(args.Get("interface", ""));
    }
    PrintTrace({"IDS_CLI_TRACE_SETTINGS", {FirmwareServerUrl(), BroadcastAddress(),
                                           CurrentLanguage()}});
    PrintTrace({"IDS_CLI_TRACE_PACKS", {LanguageDir()}});
    return std::nullopt;
}

} // namespace torvane::cli
