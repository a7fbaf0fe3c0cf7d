#include "upgrade/uUpgradeThread.h"

#include "i18n/StrRes.h"
#include "platform/Diag.h"
#include "platform/EnumTable.h"
#include "platform/LocalTime.h"
#include "platform/Sleeper.h"
#include "platform/Text.h"

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

// The worker's progress sink: keeps the reports the main thread has not had yet (within a
// phase only the latest) and posts a delivery when none is pending and the last one is at
// least ProgressInterval old, or at once when the phase changes. The worker never waits
// here for the main thread; Deliver runs there.
class TUpgradeThread::TProgressRelay : public IProgressSink {
public:
    TProgressRelay(platform::THandOver& handOver,
                   const std::function<void(const TProgress&)>& handler)
        : FHandOver(handOver), FHandler(handler) {}

    void Report(const TProgress& progress) override {
        const auto now = std::chrono::steady_clock::now();
        bool post = false;
        {
            std::lock_guard<std::mutex> g(FLock);
            const bool newPhase = !FHasLast || FLastPhase != progress.Phase;
            FHasLast = true;
            FLastPhase = progress.Phase;
            if (!newPhase && !FWaiting.empty() && FWaiting.back().Phase == progress.Phase) {
                FWaiting.back() = progress;
            } else {
                FWaiting.push_back(progress);
            }
            if (!FPosted && (newPhase || now - FLastPost >= ProgressInterval)) {
                FPosted = true;
                FLastPost = now;
                post = true;
            }
        }
        if (post) {
            (void)FHandOver.Post([this] { Deliver(); });
        }
    }

    // Main thread: hands every waiting report to the handler, in order.
    void Deliver() {
        std::vector<TProgress> reports;
        {
            std::lock_guard<std::mutex> g(FLock);
            reports.swap(FWaiting);
            FPosted = false;
        }
        if (FHandler) {
            for (const TProgress& p : reports) {
                FHandler(p);
            }
        }
    }

private:
    platform::THandOver& FHandOver;
    const std::function<void(const TProgress&)>& FHandler;
    std::mutex FLock;
    std::vector<TProgress> FWaiting;
    bool FPosted = false;
    bool FHasLast = false;
    EUpgradePhase FLastPhase = EUpgradePhase::Login;
    std::chrono::steady_clock::time_point FLastPost{};
};

TUpgradeThread::TUpgradeThread(std::unique_ptr<TUpgradeObject> upgrade, platform::IHost& host)
    : FUpgrade(std::move(upgrade)), FHandOver(host),
      FWorkerHost(std::make_unique<TWorkerHost>(FHandOver)),
      FProgress(std::make_unique<TProgressRelay>(FHandOver, OnProgress)) {}

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
    // Reports not yet delivered go before the completion.
    (void)FHandOver.Post([this] { FProgress->Deliver(); });
    // The last act: the completion is posted, not awaited, and carries its own copy of
    // the handler, so the owner may destroy this object from it. Nothing of the object is
    // touched after the post.
    if (OnTerminate) {
        (void)FHandOver.Post([done = OnTerminate] { done(); });
    }
}

void TUpgradeThread::Log(const std::string& text, const std::string& key) {
    FLogText = text;
    FResult.OutcomeKey = key;
    FResult.OutcomeText = text;
    if (!FHandOver.Call([this] {
            // Reports written before the line are shown before it.
            FProgress->Deliver();
            if (OnLog) {
                OnLog(FLogText);
            }
            if (OnLogKey) {
                OnLogKey(FResult.OutcomeKey, FLogText);
            }
        })) {
        platform::Diag(platform::EDiag::Upgrade, "the worker was closed: a log line was dropped");
    }
}

void TUpgradeThread::LogKey(const char* key) {
    Log(GetStrRes(key), key);
}

std::string TUpgradeThread::RunLine() const {
    const TUpgradeObject& up = *FUpgrade;
    return platform::FormatMessage(
        GetStrRes(FResult.Firmware == EFirmwareKind::UI ? "IDS_RUNUIFIRM" : "IDS_RUNSYSFIRM"),
        {up.IP() + ":" + std::to_string(up.Port()),
         up.SeriesName().empty() ? "?" : up.SeriesName()});
}

bool TUpgradeThread::ConfirmSameVersion() {
    if (!FUpgrade->IsSameVersion(FUpgrade->NewestVersion())) {
        return true;
    }
    // The question names the firmware and the camera it is about: the two runs of one
    // press may both ask it.
    const int answer = FWorkerHost->MessageBox(
        RunLine() + "\n\n" + GetStrRes("IDS_ISUPDATEFIRM"), GetStrRes("IDS_INFORMATION"),
        platform::MB_YESNO | platform::MB_ICONQUESTION);
    if (answer == platform::IDNO) {
        LogKey("IDS_NOUPDATEFIRM");
        return false;
    }
    return true;
}

namespace {

// The key of an upload's message: the adapters build it from one of these texts (some
// with the camera's own reason after it).
std::string UploadMessageKey(const std::string& message) {
    static const char* const Keys[] = {
        "IDS_ENTERUPGRADEERR", "IDS_PASSWORDERROR", "IDS_UPGRADEFILEFAIL",
        "IDS_UPGRADEFILEERR",  "IDS_UPGRADESUCC",   "IDS_EXITIPCERR",
        "IDS_LOGINERROR",      "IDS_IPCCONNETERR",  "IDS_CLOSEIPCERROR",
        "IDS_UPGRADEFAIL",
    };
    std::string best;
    std::size_t bestLength = 0;
    for (const char* key : Keys) {
        const std::string text = GetStrRes(key);
        if (!text.empty() && message.starts_with(text) && text.size() > bestLength) {
            best = key;
            bestLength = text.size();
        }
    }
    return best.empty() ? std::string("IDS_UPGRADEFAIL") : best;
}

// The line that ends the run for each download result but DownloadReady; the last row
// serves every result it does not name.
constexpr platform::TEnumText<int> DownloadFailureKeys[] = {
    {TUpgradeObject::DownloadFailed, "IDS_DOWNLOADERR"},
    {TUpgradeObject::DownloadDigestMismatch, "IDS_MD5ERROR"},
    {TUpgradeObject::DownloadUnpackFailed, "IDS_UNZIPERROR"},
    {TUpgradeObject::DownloadFileMissing, "IDS_UNKNOWERROR"},
};

// A version for comparing: trimmed, lower case, without a leading "v".
std::string PlainVersion(const std::string& version) {
    std::string plain = platform::Trim(platform::LowerAscii(version));
    if (!plain.empty() && plain.front() == 'v') {
        plain.erase(0, 1);
    }
    return platform::Trim(plain);
}

} // namespace

void TUpgradeThread::ProveVersion() {
    TUpgradeObject& up = *FUpgrade;
    ReportProgress(EUpgradePhase::Proof);
    const std::string offered = up.NewestVersion();
    bool read = false;
    try {
        read = up.ReadCurrentVersion();
    } catch (const std::exception&) {
        platform::DiagCaught(platform::EDiag::Upgrade, "reading the version after the reboot");
    }
    const std::string now = platform::Trim(up.CurrentVersion());
    if (!read || now.empty()) {
        LogKey("IDS_AFTERVERSIONERR");
        return;
    }
    FResult.VersionAfter = up.CurrentVersion();
    // Compared as the adapter compares versions, and also without a leading "v": some
    // cameras show their UI version as "v3.1.0.6" while the catalogue offers "3.1.0.6".
    if (up.IsSameVersion(offered) || PlainVersion(now) == PlainVersion(offered)) {
        FResult.Installed = true;
        Log(platform::FormatMessage(GetStrRes("IDS_NOWVERSION"), {now}), "IDS_NOWVERSION");
    } else if (PlainVersion(FResult.VersionBefore) == PlainVersion(now)) {
        Log(platform::FormatMessage(GetStrRes("IDS_OLDVERSION"), {now}), "IDS_OLDVERSION");
    } else {
        Log(platform::FormatMessage(GetStrRes("IDS_OTHERVERSION"), {now, platform::Trim(offered)}),
            "IDS_OTHERVERSION");
    }
}

void TUpgradeThread::Execute() {
    FSucceeded = false;
    TUpgradeObject& up = *FUpgrade;
    const TProgressScope progressScope(*FProgress);
    FResult = TRunResult{};
    FResult.Firmware = dynamic_cast<const TUIUpgradeObject*>(&up) != nullptr
                           ? EFirmwareKind::UI
                           : EFirmwareKind::System;
    FResult.Series = up.SeriesName();
    FResult.Address = up.IP();
    FResult.Port = up.Port();

    Log(RunLine(), FResult.Firmware == EFirmwareKind::UI ? "IDS_RUNUIFIRM" : "IDS_RUNSYSFIRM");

    ReportProgress(EUpgradePhase::Login);
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

    ReportProgress(EUpgradePhase::Version);
    if (!up.ReadCurrentVersion()) {
        LogKey("IDS_VERSIONERROR");
        return;
    }
    FResult.VersionBefore = up.CurrentVersion();
    Log(GetStrRes("IDS_CURRVERSION") + up.CurrentVersion(), "IDS_CURRVERSION");

    ReportProgress(EUpgradePhase::Catalogue);
    std::string offered;
    up.ReadCatalog(FExpectedMd5, FExcludedVersions, offered);
    up.SetNewestVersion(offered);
    if (up.NewestVersion().empty()) {
        LogKey("IDS_DOWNFIRMERR");
        return;
    }
    FResult.VersionOffered = up.NewestVersion();
    Log(GetStrRes("IDS_HIGHVERSION") + up.NewestVersion(), "IDS_HIGHVERSION");

    if (!ConfirmSameVersion()) {
        return;
    }

    const std::string& current = up.CurrentVersion();
    if (!current.empty() && FExcludedVersions.find(current) != std::string::npos) {
        LogKey("IDS_NONEWVERSION");
        return;
    }

    LogKey("IDS_DOWNLOADING");
    ReportProgress(EUpgradePhase::Download);
    const int downloaded = up.DownloadFirmware(FExpectedMd5);
    if (downloaded != TUpgradeObject::DownloadReady) {
        LogKey(platform::RowFor(DownloadFailureKeys, downloaded).Text);
        return;
    }

    std::optional<TUploadMark> uploading(std::in_place, FUploading);
    LogKey("IDS_UPGRADING");
    ReportProgress(EUpgradePhase::Upload);
    std::string message;
    if (!up.Upload(message)) {
        Log(message, UploadMessageKey(message));
        return;
    }
    LogKey("IDS_UPGRADED");
    uploading.reset();
    WaitReporting(EUpgradePhase::RebootWait, RebootWaitMs);

    int pauses = 0;
    for (;;) {
        ReportProgress(TProgress{EUpgradePhase::Poll, static_cast<std::uint64_t>(pauses + 1),
                                 static_cast<std::uint64_t>(MaxPollPauses + 1), -1});
        if (up.Login() != TUpgradeObject::LoginUnreachable || pauses >= MaxPollPauses) {
            break;
        }
        platform::SleepMs(PollPauseMs);
        ++pauses;
    }
    if (pauses < MaxPollPauses) {
        FSucceeded = true;
        FResult.Working = true;
        LogKey("IDS_IPCWORKING");
        ProveVersion();
    } else {
        LogKey("IDS_IPCNOTWORK");
    }
}

} // namespace torvane
