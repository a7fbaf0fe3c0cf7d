#include "upgrade/uUpgradeThread.h"

#include "i18n/StrRes.h"
#include "platform/Diag.h"
#include "platform/LocalTime.h"
#include "platform/Sleeper.h"

#include <iomanip>
#include <locale>
#include <optional>
#include <sstream>

namespace torvane {

namespace {

// Marks an upload under way for its scope.
class TUploadMark {
public:
    explicit TUploadMark(std::atomic<bool>& flag) : FFlag(flag) { FFlag = true; }
    ~TUploadMark() { FFlag = false; }
    TUploadMark(const TUploadMark&) = delete;
    TUploadMark& operator=(const TUploadMark&) = delete;

private:
    std::atomic<bool>& FFlag;
};

std::locale SystemLocale() {
    try {
        return std::locale("");
    } catch (const std::exception&) {
        platform::DiagCaught(platform::EDiag::Upgrade, "the system's locale for the log's time");
        return std::locale::classic();
    }
}

} // namespace

std::string LogTimeStamp(std::time_t now) {
    std::tm tm{};
    if (!platform::LocalTimeOf(now, tm)) {
        return {};
    }
    const bool midnight = tm.tm_hour == 0 && tm.tm_min == 0 && tm.tm_sec == 0;
    std::ostringstream out;
    out.imbue(SystemLocale());
    out << std::put_time(&tm, midnight ? "%x" : "%x %X");
    return out.str();
}

std::string FormatLogLine(const std::string& text) {
    return LogTimeStamp(std::time(nullptr)) + ":" + text;
}

// The host that the run's steps see on the worker's thread: boxes and the busy pointer
// reach the main thread through the worker's hand-over, so that closing it releases them.
class TUpgradeThread::TWorkerHost : public platform::IHost {
public:
    explicit TWorkerHost(platform::THandOver& handOver) : FHandOver(handOver) {}

    int MessageBox(const std::string& text, const std::string& caption, int flags) override {
        // Closed before it was shown: No to a question, OK to anything else.
        int answer = (flags & 0x0F) == platform::MB_YESNO ? platform::IDNO : platform::IDOK;
        if (!FHandOver.Call([&] { answer = Real().MessageBox(text, caption, flags); })) {
            platform::Diag(platform::EDiag::Upgrade,
                           "the worker was closed: a message box was not shown");
        }
        return answer;
    }
    void Post(std::function<void()> fn) override { (void)FHandOver.Post(std::move(fn)); }
    [[nodiscard]] bool IsMainThread() const override { return Real().IsMainThread(); }
    void SetBusyCursor(bool busy) override {
        (void)FHandOver.Call([&] { Real().SetBusyCursor(busy); });
    }

private:
    [[nodiscard]] platform::IHost& Real() const { return FHandOver.Host(); }
    platform::THandOver& FHandOver;
};

TUpgradeThread::TUpgradeThread(std::unique_ptr<TUpgradeObject> upgrade, platform::IHost& host)
    : FUpgrade(std::move(upgrade)), FHandOver(host),
      FWorkerHost(std::make_unique<TWorkerHost>(FHandOver)) {}

TUpgradeThread::~TUpgradeThread() {
    Close();
    if (FThread.joinable() && FThread.get_id() == std::this_thread::get_id()) {
        // Destroyed by its own completion, on a host that runs posted work where it is
        // posted: the thread is at its end and touches nothing more.
        FThread.detach();
    }
    Wait();
}

void TUpgradeThread::Start() {
    FRunning = true;
    try {
        FThread = std::jthread([this] { ThreadMain(); });
    } catch (...) {
        FRunning = false;
        throw;
    }
}

void TUpgradeThread::Wait() {
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) {
        FThread.join();
    }
}

void TUpgradeThread::Close() {
    FHandOver.Close();
}

void TUpgradeThread::ThreadMain() {
    platform::WithThreadHost(*FWorkerHost, [this] {
        try {
            Execute();
        } catch (...) {
            // An error that escaped a step ends the run without a further line.
            platform::DiagCaught(platform::EDiag::Upgrade, "the upgrade run");
        }
    });
    // The adapter belongs to the run and goes with it, before the window hears of the end.
    try {
        FUpgrade.reset();
    } catch (...) {
        platform::DiagCaught(platform::EDiag::Upgrade, "releasing the run's adapter");
    }
    FRunning = false;
    // The last act: the completion is posted, not awaited, and carries its own copy of
    // the handler, so the owner may destroy this object from it. Nothing of the object is
    // touched after the post.
    if (OnTerminate) {
        (void)FHandOver.Post([done = OnTerminate] { done(); });
    }
}

void TUpgradeThread::Log(const std::string& text) {
    FLogText = text;
    if (!FHandOver.Call([this] {
            if (OnLog) {
                OnLog(FLogText);
            }
        })) {
        platform::Diag(platform::EDiag::Upgrade, "the worker was closed: a log line was dropped");
    }
}

void TUpgradeThread::LogKey(const char* key) {
    Log(GetStrRes(key));
}

bool TUpgradeThread::ConfirmSameVersion() {
    if (!FUpgrade->IsSameVersion(FUpgrade->NewestVersion())) {
        return true;
    }
    const int answer = FWorkerHost->MessageBox(
        GetStrRes("IDS_ISUPDATEFIRM"), GetStrRes("IDS_INFORMATION"),
        platform::MB_YESNO | platform::MB_ICONQUESTION);
    if (answer == platform::IDNO) {
        LogKey("IDS_NOUPDATEFIRM");
        return false;
    }
    return true;
}

void TUpgradeThread::Execute() {
    FSucceeded = false;
    TUpgradeObject& up = *FUpgrade;

    switch (up.Login()) {
    case TUpgradeObject::LoginOk:
        LogKey("IDS_IPCCONNECTED");
        break;
    case TUpgradeObject::LoginRefused:
        LogKey("IDS_PASSWORDERROR");
        return;
    case TUpgradeObject::LoginUnreachable:
        LogKey("IDS_NOIPCCONNECT");
        return;
    default:
        break;
    }

    if (!up.ReadCurrentVersion()) {
        LogKey("IDS_VERSIONERROR");
        return;
    }
    Log(GetStrRes("IDS_CURRVERSION") + up.CurrentVersion());

    std::string offered;
    up.ReadCatalog(FExpectedMd5, FExcludedVersions, offered);
    up.SetNewestVersion(offered);
    if (up.NewestVersion().empty()) {
        LogKey("IDS_DOWNFIRMERR");
        return;
    }
    Log(GetStrRes("IDS_HIGHVERSION") + up.NewestVersion());

    if (!ConfirmSameVersion()) {
        return;
    }

    const std::string& current = up.CurrentVersion();
    if (!current.empty() && FExcludedVersions.find(current) != std::string::npos) {
        LogKey("IDS_NONEWVERSION");
        return;
    }

    LogKey("IDS_DOWNLOADING");
    switch (up.DownloadFirmware(FExpectedMd5)) {
    case TUpgradeObject::DownloadReady:
        break;
    case TUpgradeObject::DownloadFailed:
        LogKey("IDS_DOWNLOADERR");
        return;
    case TUpgradeObject::DownloadDigestMismatch:
        LogKey("IDS_MD5ERROR");
        return;
    case TUpgradeObject::DownloadUnpackFailed:
        LogKey("IDS_UNZIPERROR");
        return;
    default:
        LogKey("IDS_UNKNOWERROR");
        return;
    }

    std::optional<TUploadMark> uploading(std::in_place, FUploading);
    LogKey("IDS_UPGRADING");
    std::string message;
    if (!up.Upload(message)) {
        Log(message);
        return;
    }
    LogKey("IDS_UPGRADED");
    uploading.reset();
    platform::SleepMs(RebootWaitMs);

    int pauses = 0;
    for (;;) {
        if (up.Login() != TUpgradeObject::LoginUnreachable || pauses >= MaxPollPauses) {
            break;
        }
        platform::SleepMs(PollPauseMs);
        ++pauses;
    }
    if (pauses < MaxPollPauses) {
        FSucceeded = true;
        LogKey("IDS_IPCWORKING");
    } else {
        LogKey("IDS_IPCNOTWORK");
    }
}

} // namespace torvane
