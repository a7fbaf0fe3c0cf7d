#pragma once
// A site upgrade: many cameras upgraded side by side, each camera's system firmware then
// its UI firmware in order (as one press of "Upgrade Firmware" does), up to a limit of
// cameras in flight. One camera's failure never stops the others. Each catalogue folder is
// read once and each package downloaded and checked once for the whole site (the shared
// fetches of FirmwareFetches.h), and the same-version question is answered by a policy
// instead of being asked per camera.
//
// Threads: one slot thread per parallel camera takes the next camera from the list and
// runs its upgrade workers (TUpgradeThread) one after the other. Every event reaches the
// host's main thread (posted, never awaited by the main thread): the window and
// torvane-cli only set the handlers and pump their main thread as they always do. Whoever
// starts a site upgrade owns it; its destructor closes every hand-over and joins every
// thread (see docs/ARCHITECTURE.md, "Threads").

#include "platform/HandOver.h"
#include "platform/Host.h"
#include "upgrade/Progress.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace torvane {

class TFirmwareFetches;
class TUpgradeThread;

// Which firmware of each camera a site upgrade installs.
enum class ESiteFirmware { Both, System, UI };
// What a site upgrade does with a camera that already runs the offered version.
enum class ESameVersion { Skip, Reinstall };

// One camera of the site.
struct TSiteCamera {
    int SeriesIndex = -1; // 0 E, 1 F, 2 H, 3 T (the factory's index)
    std::string Address;  // IPv4 address or host name, as typed
    int Port = 81;
    std::string User;
    std::string Password;
    // "ADDR:PORT", the camera's name in every output.
    [[nodiscard]] std::string Name() const;
    // "E", "F", "H", "T"; empty for an index outside them.
    [[nodiscard]] std::string SeriesLetter() const;
};

struct TSiteOptions {
    static constexpr int DefaultParallel = 4;
    static constexpr int MaxParallel = 64;
    int Parallel = DefaultParallel; // cameras in flight; taken into 1..MaxParallel
    ESiteFirmware Firmware = ESiteFirmware::Both;
    ESameVersion SameVersion = ESameVersion::Skip;
    // The pause between a camera's system run and its UI run, as one press waits.
    int PauseBetweenRunsMs = 1000;
};

// One run (one firmware kind of one camera).
struct TSiteRunResult {
    bool IsSystem = true;
    ERunClass Outcome = ERunClass::Failed; // from the worker's result (TRunResult::Class)
    std::string OutcomeKey; // the message key of the run's last line ("IDS_...")
    std::string VersionBefore;
    std::string VersionOffered;
    std::string VersionAfter;
    std::chrono::system_clock::time_point Start;
    std::chrono::system_clock::time_point End;
    // The run's log lines as the operation log shows them (FormatLogLine), in order, and
    // the texts of the boxes it would have shown (a failed download's reason), which a
    // site upgrade never shows as boxes.
    std::vector<std::string> Log;
    std::vector<std::string> Notices;
    // The text of the last log line, without its time stamp (the outcome in words).
    std::string LastText;
};

// How a camera ended over all its runs.
enum class ESiteCameraOutcome {
    NotStarted,       // Stop came before the camera's turn
    Running,
    Upgraded,         // every run upgraded, or upgraded and nothing to install
    NothingToInstall, // every run had nothing to install
    Failed,           // at least one run failed
};

struct TSiteCameraResult {
    TSiteCamera Camera; // the password is left empty here
    ESiteCameraOutcome Outcome = ESiteCameraOutcome::NotStarted;
    std::vector<TSiteRunResult> Runs; // in the order run
};

// Stable English names for reports and JSON: "upgraded", "nothing-to-install", "failed",
// "not-started", "running"; a run has the name of the camera outcome of the same meaning.
[[nodiscard]] const char* OutcomeName(ERunClass outcome);
[[nodiscard]] const char* OutcomeName(ESiteCameraOutcome outcome);
// The message key of the outcome's words in the site window's list ("IDS_SITE_UPGRADED").
[[nodiscard]] const char* OutcomeKey(ESiteCameraOutcome outcome);

class TSiteUpgrade {
public:
    // host: whose main thread receives every event; it must outlive the site upgrade.
    TSiteUpgrade(std::vector<TSiteCamera> cameras, const TSiteOptions& options,
                 platform::IHost& host = platform::Host());
    // Stops, closes every hand-over (events not yet delivered are dropped) and joins every
    // thread. Runs under way go on to the end of their steps first: an upload is never cut.
    ~TSiteUpgrade();
    TSiteUpgrade(const TSiteUpgrade&) = delete;
    TSiteUpgrade& operator=(const TSiteUpgrade&) = delete;

    // --- events, each on the host's main thread; camera is the index in Cameras() ---
    // A run begins (before its first line).
    std::function<void(std::size_t camera, bool isSystem)> OnRunStarted;
    // One log line of a run, as the single upgrade writes it (without the date), with the
    // message key it was made from.
    std::function<void(std::size_t camera, bool isSystem, const std::string& key,
                       const std::string& line)>
        OnLog;
    // A box a run would have shown (its caption and text), e.g. why a download failed.
    std::function<void(std::size_t camera, bool isSystem, const std::string& text)> OnNotice;
    // Where a run stands (coalesced by the worker to about ten a second).
    std::function<void(std::size_t camera, bool isSystem, const TProgress& progress)> OnProgress;
    // A run ended; its record is complete.
    std::function<void(std::size_t camera, const TSiteRunResult& run)> OnRunFinished;
    // A camera ended (all its runs) or was left out after Stop.
    std::function<void(std::size_t camera, const TSiteCameraResult& result)> OnCameraFinished;
    // Every camera has ended or was left out; the last event. The object may be destroyed
    // from here.
    std::function<void()> OnFinished;

    // Starts the slot threads. Once, on the main thread, after setting the handlers.
    void Start();
    // No camera starts any more; the ones under way finish. Any thread.
    void Stop();
    // Stop, then close every hand-over: no further event reaches the main thread, and no
    // run waits for it any more. Runs under way still go on to the end of their steps (a
    // run cannot be cancelled; an upload is never cut); Wait or the destructor joins them.
    // Main thread.
    void Close();
    // Joins every thread. On the main thread only after OnFinished has run, or after Close.
    void Wait();

    [[nodiscard]] bool Started() const { return FStarted; }
    [[nodiscard]] bool Stopping() const { return FStopping; }
    // True until OnFinished has been posted.
    [[nodiscard]] bool Running() const { return FRunning; }
    // True while any camera's firmware is being sent. Any thread.
    [[nodiscard]] bool UploadUnderWay() const;

    [[nodiscard]] const std::vector<TSiteCamera>& Cameras() const { return FCameras; }
    [[nodiscard]] const TSiteOptions& Options() const { return FOptions; }
    // The records so far; complete after OnFinished. Main thread.
    [[nodiscard]] const std::vector<TSiteCameraResult>& Results() const { return FResults; }

private:
    struct TSlot;
    void SlotMain(std::size_t slot);
    void RunCamera(std::size_t camera, TSlot& slot);
    void RunOne(std::size_t camera, bool isSystem, TSlot& slot);
    void CameraEnded(std::size_t camera);
    void SlotEnded();

    std::vector<TSiteCamera> FCameras;
    TSiteOptions FOptions;
    platform::IHost& FHost;
    std::shared_ptr<TFirmwareFetches> FFetches;
    std::vector<TSiteCameraResult> FResults; // main thread
    platform::THandOver FHandOver;

    std::mutex FLock;
    std::size_t FNext = 0;          // the next camera to start, under FLock
    std::size_t FSlotsRunning = 0;  // main thread
    std::atomic<bool> FStarted{false};
    std::atomic<bool> FStopping{false};
    std::atomic<bool> FClosed{false};
    std::atomic<bool> FRunning{false};
    std::vector<std::unique_ptr<TSlot>> FSlots;
};

// The summary of a whole site: the counts of each camera outcome.
struct TSiteSummary {
    std::size_t Cameras = 0;
    std::size_t Upgraded = 0;
    std::size_t NothingToInstall = 0;
    std::size_t Failed = 0;
    std::size_t NotStarted = 0;
    // True when no camera failed and every camera ran (exit status 0 of torvane-cli batch).
    [[nodiscard]] bool AllGood() const { return Failed == 0 && NotStarted == 0; }
};
[[nodiscard]] TSiteSummary Summarize(const std::vector<TSiteCameraResult>& results);

} // namespace torvane
