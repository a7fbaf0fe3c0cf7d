#pragma once
// Where an upgrade run stands, and how it ended.
//
// TProgress is one report of the worker: the phase it is in and, where it has them, bytes
// done and total (download, upload) or seconds of the reboot wait. The worker's steps
// report through ReportProgress, which reaches the sink of the calling thread (the worker
// installs its own with TProgressScope); the worker hands the reports to the main thread
// coalesced (uUpgradeThread.h). Code that runs without a sink (a test of one step, the
// mirror command) reports into nothing.
//
// TRunResult is what a run leaves behind: the key of its last line, the versions it saw
// and whether the camera ended up running the offered version.

#include "platform/SwapBack.h"

#include <cstdint>
#include <string>

namespace torvane {

enum class EUpgradePhase {
    Login,      // the first login
    Version,    // reading the current version
    Catalogue,  // fetching and reading the catalogue
    Download,   // the package; bytes
    Check,      // the package's digest
    Unpack,     // unpacking the firmware file
    Upload,     // sending the firmware to the camera; bytes
    RebootWait, // the fixed wait after the upload; Done/Total in seconds
    Poll,       // logins until the camera answers; Done/Total in attempts
    Proof,      // reading the version after the reboot
};

// The phase's name in the CLI's JSON stream: "login", "version", "catalogue", "download",
// "check", "unpack", "upload", "reboot", "poll", "proof".
[[nodiscard]] const char* PhaseName(EUpgradePhase phase);

// The phase in words, in the current language ("Downloading the firmware").
[[nodiscard]] std::string PhaseText(EUpgradePhase phase);

struct TProgress {
    EUpgradePhase Phase = EUpgradePhase::Login;
    // Bytes for a download or an upload, seconds for the reboot wait, attempts for the
    // polls. Total 0: not known (a server that does not say how long its file is).
    std::uint64_t Done = 0;
    std::uint64_t Total = 0;
    // Seconds until the phase ends, when that is known (the reboot wait, the polls' worst
    // case, a transfer with a known total and a measured rate); -1 otherwise.
    int SecondsLeft = -1;

    [[nodiscard]] bool operator==(const TProgress&) const = default;
};

// One line for a report, in the current language: the phase in words, then what is known
// of it: "Downloading the firmware: 45% (12.3 / 27.0 MiB)", "Waiting for the camera to
// restart: 32 s left", "Checking whether the camera is back: attempt 2 of 11".
[[nodiscard]] std::string ProgressText(const TProgress& progress);

// The sink of the calling thread for reports. Called on the reporting thread; it must not
// wait for another thread.
class IProgressSink {
public:
    virtual ~IProgressSink() = default;
    virtual void Report(const TProgress& progress) = 0;
};

// Reports to the calling thread's sink; nothing when it has none.
void ReportProgress(const TProgress& progress);
void ReportProgress(EUpgradePhase phase, std::uint64_t done = 0, std::uint64_t total = 0);

// Waits totalMs through platform::SleepMs in steps of a second (the same total), reporting
// the phase with the seconds gone as Done, the whole seconds as Total and the seconds left,
// before each step and once at the end.
void WaitReporting(EUpgradePhase phase, int totalMs);

// Installs sink as the calling thread's for its lifetime (the one before comes back after).
class TProgressScope : platform::TSwapBack<IProgressSink*, IProgressSink*> {
public:
    explicit TProgressScope(IProgressSink& sink);
};

enum class EFirmwareKind { System, UI };

// "system" or "ui".
[[nodiscard]] const char* FirmwareName(EFirmwareKind kind);

// How a run ended, as a caller counts it.
enum class ERunClass {
    Installed,  // the camera is back and runs the offered version
    NothingDone,// nothing was installed and nothing failed: same version declined, or the
                // camera's version is excluded by the catalogue
    Failed,     // anything else, a camera back on its old version included
};

struct TRunResult {
    EFirmwareKind Firmware = EFirmwareKind::System;
    // The series letter (E, F, H, T) and the camera's address and port.
    std::string Series;
    std::string Address;
    int Port = 0;
    // The key of the run's last line (IDS_...); for an upload the camera refused, the key
    // of the adapter's message. Empty when an error ended the run without a line.
    std::string OutcomeKey;
    // The run's last line as logged (without the time stamp).
    std::string OutcomeText;
    // Empty where not known.
    std::string VersionBefore;
    std::string VersionOffered;
    std::string VersionAfter;
    // The camera answered again after the upload (IDS_IPCWORKING).
    bool Working = false;
    // The camera answered again and reads back the offered version.
    bool Installed = false;

    [[nodiscard]] ERunClass Class() const;
};

} // namespace torvane
