#pragma once
// The upgrade worker: runs one upgrade of one camera on a thread of its own, calling the
// adapter's operations in their fixed order and writing one log line for every outcome.
//
//   outcome                                   last log line
//   camera unreachable at the start           IDS_NOIPCCONNECT
//   account or password refused               IDS_PASSWORDERROR
//   current version not readable              IDS_VERSIONERROR
//   no firmware offered for this camera       IDS_DOWNFIRMERR
//   same version, user declined               IDS_NOUPDATEFIRM
//   camera's version excluded by catalogue    IDS_NONEWVERSION
//   package download failed                   IDS_DOWNLOADERR
//   package digest wrong                      IDS_MD5ERROR
//   unpacking the package failed              IDS_UNZIPERROR
//   unpacked firmware file missing            IDS_UNKNOWERROR
//   camera refused the upload                 the adapter's own message
//   camera back, runs the offered version     IDS_NOWVERSION (after IDS_IPCWORKING)
//   camera back, still on its old version     IDS_OLDVERSION (warning)
//   camera back, on yet another version       IDS_OTHERVERSION (warning)
//   camera back, version not readable         IDS_AFTERVERSIONERR
//   camera not back after the upload          IDS_IPCNOTWORK
//
// Before its first line a run logs which firmware of which camera it is about
// (IDS_RUNSYSFIRM, IDS_RUNUIFIRM). The worker reports where it stands (Progress.h) from
// every step: the phase, bytes of the download and the upload, seconds of the reboot wait
// (a second at a time), and the number of each poll.
//
// Whoever starts a worker owns it: the object holds its thread (a std::jthread) and its
// hand-over to the main thread, and its destructor closes the hand-over and joins the
// thread. Log lines go to the main thread one at a time, each waiting until it has been
// shown, so they appear in the order written; the completion handler is posted to the main
// thread as the worker's last act, and the thread ends without waiting for it, so the owner
// may destroy the worker from there. Message boxes and the busy pointer that the run's
// steps ask for (the same-version question, a download's error box) go through the same
// hand-over: the worker's thread has a host of its own in front of the context's
// (platform::WithThreadHost). Several workers may run at once, each with its own owner.

#include "platform/HandOver.h"
#include "platform/Host.h"
#include "upgrade/Progress.h"
#include "upgrade/uIUpgrade.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <mutex>
#include <vector>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace torvane {

class TUpgradeThread {
public:
    // host: whose main thread receives the log lines and the completion (the current
    // host by default); it must outlive the worker.
    explicit TUpgradeThread(std::unique_ptr<TUpgradeObject> upgrade,
                            platform::IHost& host = platform::Host());
    // Closes the hand-over (lines not yet shown are dropped, a pending completion never
    // runs) and waits for the thread to end. A run cannot be cancelled: while one is under
    // way, this waits for its steps to end.
    ~TUpgradeThread();
    TUpgradeThread(const TUpgradeThread&) = delete;
    TUpgradeThread& operator=(const TUpgradeThread&) = delete;

    // The log sink, called on the main thread; the worker waits until it has run.
    std::function<void(const std::string&)> OnLog;
    // The same lines with their message keys (key, text), called after OnLog: the key of
    // the pack text the line is or begins with, or the one the adapter's upload message
    // was made from.
    std::function<void(const std::string& key, const std::string& text)> OnLogKey;
    // The progress sink, called on the main thread with the worker's reports, in order.
    // The worker never waits for it: reports are coalesced into at most about ten
    // deliveries a second (a delivery may carry several reports; within a phase only the
    // latest is kept, and the last report of every phase is delivered), and the reports
    // still waiting are delivered before each log line and before the completion.
    std::function<void(const TProgress&)> OnProgress;
    // The completion handler, run once on the main thread after the last line, whatever
    // happened (also after an error escaped a step). The worker is still alive while it
    // runs and may be destroyed by it.
    std::function<void()> OnTerminate;

    // Runs the steps once on the worker's own thread. Call it once, on the main thread,
    // after setting the handlers.
    void Start();
    // Waits until the thread has ended. On the main thread, call it only once the
    // completion handler has run (the thread needs the main thread until then), or after
    // Close.
    void Wait();
    // Closes the hand-over at once: lines not yet shown are dropped, questions get No, the
    // completion never runs. The steps go on to their end. Main thread.
    void Close();
    // True from Start until the run's steps have ended and its adapter is released.
    [[nodiscard]] bool Running() const { return FRunning; }

    // Runs the steps on the calling thread (without OnTerminate); an error thrown by a step
    // reaches the caller. For tests, and for hosts that bring their own thread.
    void Execute();

    // True when the last run ended with the camera answering again (IDS_IPCWORKING).
    // Meaningful in OnTerminate and after Execute.
    [[nodiscard]] bool Succeeded() const { return FSucceeded; }
    // How the run ended: firmware, camera, outcome key, versions. Filled as the run goes;
    // complete in OnTerminate and after Execute.
    [[nodiscard]] const TRunResult& Result() const { return FResult; }
    // The run's adapter; released at the end of a threaded run, before OnTerminate.
    [[nodiscard]] TUpgradeObject& Upgrade() { return *FUpgrade; }

    // True while this worker is sending firmware to a camera: from its "upgrading" line
    // until the upload's outcome has been logged. A program asked to end waits for this to
    // pass, so that no camera is left with half an image. Callable from any thread.
    [[nodiscard]] bool UploadUnderWay() const { return FUploading; }

    static constexpr int RebootWaitMs = 40000;
    static constexpr int PollPauseMs = 1000;
    static constexpr int MaxPollPauses = 10;
    // Progress deliveries are at least this far apart (except at a change of phase).
    static constexpr std::chrono::milliseconds ProgressInterval{100};

private:
    class TWorkerHost;
    class TProgressRelay;
    void ThreadMain();
    // key: the text's key, kept as the run's outcome when the line is the last.
    void Log(const std::string& text, const std::string& key);
    void LogKey(const char* key);
    // The line that names the run: firmware, camera, series.
    [[nodiscard]] std::string RunLine() const;
    // false: the run stops here.
    [[nodiscard]] bool ConfirmSameVersion();
    // Reads the version again after the camera came back and logs what it runs.
    void ProveVersion();

    std::unique_ptr<TUpgradeObject> FUpgrade;
    platform::THandOver FHandOver;
    std::unique_ptr<TWorkerHost> FWorkerHost;
    std::unique_ptr<TProgressRelay> FProgress;
    TRunResult FResult;
    std::string FExpectedMd5;
    std::string FExcludedVersions;
    std::string FLogText;
    bool FSucceeded = false;
    std::atomic<bool> FUploading{false};
    std::atomic<bool> FRunning{false};
    // Last, so that it is joined before the members the thread uses go.
    std::jthread FThread;
};

// Local short date, a blank, long time (left out at exactly midnight), as the system's
// locale formats them.
[[nodiscard]] std::string LogTimeStamp(std::time_t now);
// One line of the operation log: LogTimeStamp(now) + ":" + text.
[[nodiscard]] std::string FormatLogLine(const std::string& text);

} // namespace torvane
