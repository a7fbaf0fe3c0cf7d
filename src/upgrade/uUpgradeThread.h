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
//   camera back after the upload              IDS_IPCWORKING
//   camera not back after the upload          IDS_IPCNOTWORK
//
// Log lines and the completion handler reach the host's main thread through
// platform::Host().RunOnMainThread; the same-version question is the host's message box,
// asked from the worker thread.

#include "upgrade/uIUpgrade.h"

#include <ctime>
#include <functional>
#include <memory>
#include <string>

namespace torvane {

class TUpgradeThread {
public:
    explicit TUpgradeThread(std::unique_ptr<TUpgradeObject> upgrade);
    ~TUpgradeThread();
    TUpgradeThread(const TUpgradeThread&) = delete;
    TUpgradeThread& operator=(const TUpgradeThread&) = delete;

    // The log sink, called on the main thread; the worker waits until it has run.
    std::function<void(const std::string&)> OnLog;
    // The completion handler, run on the main thread whatever happens (also after an error
    // escaped a step).
    std::function<void()> OnTerminate;

    // Runs the steps once on a thread of its own. The object frees itself after
    // OnTerminate has run: create it with new and never delete it.
    void Start();

    // Runs the steps on the calling thread (without OnTerminate); an error thrown by a step
    // reaches the caller. For tests, and for hosts that bring their own thread.
    void Execute();

    // True when the last run ended with the camera answering again (IDS_IPCWORKING).
    // Meaningful in OnTerminate and after Execute.
    [[nodiscard]] bool Succeeded() const { return FSucceeded; }
    [[nodiscard]] TUpgradeObject& Upgrade() { return *FUpgrade; }

    // Waits until every started worker has finished with the host and its thread is about
    // to end. Call it only where no worker still needs the main thread (after the
    // OnTerminate of each has run), before the host goes away.
    static void WaitUntilAllEnded();

    // True while some worker is sending firmware to a camera: from its "upgrading" line
    // until the upload's outcome has been logged. A program asked to end waits for this to
    // pass, so that no camera is left with half an image. Callable from any thread.
    [[nodiscard]] static bool UploadUnderWay();

    static constexpr int RebootWaitMs = 40000;
    static constexpr int PollPauseMs = 1000;
    static constexpr int MaxPollPauses = 10;

private:
    static void ThreadMain(TUpgradeThread* self);
    void Log(const std::string& text);
    void LogKey(const char* key);
    // false: the run stops here.
    [[nodiscard]] bool ConfirmSameVersion();

    std::unique_ptr<TUpgradeObject> FUpgrade;
    std::string FExpectedMd5;
    std::string FExcludedVersions;
    std::string FLogText;
    bool FSucceeded = false;
};

// Local short date, a blank, long time (left out at exactly midnight), as the system's
// locale formats them.
[[nodiscard]] std::string LogTimeStamp(std::time_t now);
// One line of the operation log: LogTimeStamp(now) + ":" + text.
[[nodiscard]] std::string FormatLogLine(const std::string& text);

} // namespace torvane
