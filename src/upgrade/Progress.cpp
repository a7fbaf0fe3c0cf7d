#include "upgrade/Progress.h"

#include "i18n/StrRes.h"
#include "platform/Sleeper.h"
#include "platform/Text.h"

#include <cstddef>
#include <cstdio>
#include <iterator>

namespace torvane {

namespace {

thread_local IProgressSink* CurrentSink = nullptr;

// Each phase's name in the JSON stream and the key of its text, in the enum's order.
struct TPhaseNames {
    const char* Name;
    const char* Key;
};
constexpr TPhaseNames PhaseNames[] = {
    {"login", "IDS_STEP_LOGIN"},
    {"version", "IDS_STEP_VERSION"},
    {"catalogue", "IDS_STEP_CATALOGUE"},
    {"download", "IDS_STEP_DOWNLOAD"},
    {"check", "IDS_STEP_CHECK"},
    {"unpack", "IDS_STEP_UNPACK"},
    {"upload", "IDS_STEP_UPLOAD"},
    {"reboot", "IDS_STEP_REBOOT"},
    {"poll", "IDS_STEP_POLL"},
    {"proof", "IDS_STEP_PROOF"},
};
static_assert(std::size(PhaseNames) == static_cast<std::size_t>(EUpgradePhase::Proof) + 1,
              "a row for every phase");

// The phase's row; nullptr for a value outside the enum.
const TPhaseNames* NamesOf(EUpgradePhase phase) {
    const auto i = static_cast<std::size_t>(phase);
    return i < std::size(PhaseNames) ? &PhaseNames[i] : nullptr;
}

} // namespace

const char* PhaseName(EUpgradePhase phase) {
    const TPhaseNames* names = NamesOf(phase);
    return names != nullptr ? names->Name : "";
}

std::string PhaseText(EUpgradePhase phase) {
    const TPhaseNames* names = NamesOf(phase);
    return names != nullptr ? GetStrRes(names->Key) : std::string();
}

namespace {

// Bytes in the unit that suits the larger of two counts: MiB with one decimal from 1 MiB
// on, KiB below.
std::string Bytes(std::uint64_t bytes, std::uint64_t scale) {
    char text[32];
    if (scale >= 1024 * 1024) {
        std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
    } else {
        std::snprintf(text, sizeof text, "%llu",
                      static_cast<unsigned long long>((bytes + 1023) / 1024));
    }
    return text;
}

const char* Unit(std::uint64_t scale) {
    return scale >= 1024 * 1024 ? " MiB" : " KiB";
}

} // namespace

std::string ProgressText(const TProgress& p) {
    std::string text = PhaseText(p.Phase);
    std::string detail;
    switch (p.Phase) {
    case EUpgradePhase::Download:
    case EUpgradePhase::Upload:
        if (p.Total > 0) {
            const std::uint64_t done = p.Done > p.Total ? p.Total : p.Done;
            detail = std::to_string(done * 100 / p.Total) + "% (" + Bytes(done, p.Total) + " / " +
                     Bytes(p.Total, p.Total) + Unit(p.Total) + ")";
        } else if (p.Done > 0) {
            detail = Bytes(p.Done, p.Done) + Unit(p.Done);
        }
        break;
    case EUpgradePhase::RebootWait:
        if (p.SecondsLeft >= 0) {
            detail = platform::FormatMessage(GetStrRes("IDS_STEP_SECONDSLEFT"),
                                             {std::to_string(p.SecondsLeft)});
        }
        break;
    case EUpgradePhase::Poll:
        if (p.Total > 0) {
            detail = platform::FormatMessage(GetStrRes("IDS_STEP_ATTEMPT"),
                                             {std::to_string(p.Done), std::to_string(p.Total)});
        }
        break;
    default:
        break;
    }
    return detail.empty() ? text : text + GetStrRes("IDS_STEP_SEPARATOR") + detail;
}

const char* FirmwareName(EFirmwareKind kind) {
    return kind == EFirmwareKind::UI ? "ui" : "system";
}

void ReportProgress(const TProgress& progress) {
    if (CurrentSink != nullptr) {
        CurrentSink->Report(progress);
    }
}

void ReportProgress(EUpgradePhase phase, std::uint64_t done, std::uint64_t total) {
    ReportProgress(TProgress{phase, done, total, -1});
}

void WaitReporting(EUpgradePhase phase, int totalMs) {
    constexpr int stepMs = 1000;
    const int steps = totalMs / stepMs;
    const int rest = totalMs % stepMs;
    const auto seconds = static_cast<std::uint64_t>(steps + (rest > 0 ? 1 : 0));
    for (int i = 0; i < steps; ++i) {
        ReportProgress(TProgress{phase, static_cast<std::uint64_t>(i), seconds,
                                 static_cast<int>(seconds) - i});
        platform::SleepMs(stepMs);
    }
    if (rest > 0) {
        ReportProgress(TProgress{phase, static_cast<std::uint64_t>(steps), seconds, 1});
        platform::SleepMs(rest);
    }
    ReportProgress(TProgress{phase, seconds, seconds, 0});
}

TProgressScope::TProgressScope(IProgressSink& sink) : TSwapBack(CurrentSink, &sink) {}

ERunClass TRunResult::Class() const {
    if (Installed) {
        return ERunClass::Installed;
    }
    if (OutcomeKey == "IDS_NOUPDATEFIRM" || OutcomeKey == "IDS_NONEWVERSION") {
        return ERunClass::NothingDone;
    }
    return ERunClass::Failed;
}

} // namespace torvane
