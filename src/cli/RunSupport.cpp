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

std::size_t DisplayWidth(const std::string& text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t cp = n == 1 ? c : (c & (0xFF >> (n + 1)));
        for (std::size_t k = 1; k < n && i + k < text.size(); ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                          (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                          (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                          (cp >= 0xFFE0 && cp <= 0xFFE6);
        width += wide ? 2 : 1;
        i += n;
    }
    return width;
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
