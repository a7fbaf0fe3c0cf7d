#include "upgrade/uUpgradeThread.h"

#include "i18n/StrRes.h"
#include "platform/Host.h"
#include "platform/Sleeper.h"

#include <atomic>
#include <condition_variable>
#include <iomanip>
#include <locale>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

namespace torvane {

namespace {

// Workers that have not yet finished with the host. Never destroyed, so a worker ending
// while the process exits never touches a dead object.
struct TRunningWorkers {
    std::mutex Lock;
    std::condition_variable Ended;
    int Count = 0;
};

TRunningWorkers& Running() {
    static auto* running = new TRunningWorkers;
    return *running;
}

// Uploads under way, over all workers.
std::atomic<int> UploadCount{0};

class TUploadMark {
public:
    TUploadMark() { ++UploadCount; }
    ~TUploadMark() { --UploadCount; }
    TUploadMark(const TUploadMark&) = delete;
    TUploadMark& operator=(const TUploadMark&) = delete;
};

std::locale SystemLocale() {
    try {
        return std::locale("");
    } catch (const std::exception&) {
        return std::locale::classic();
    }
}

} // namespace

std::string LogTimeStamp(std::time_t now) {
    std::tm tm{};
    if (::localtime_r(&now, &tm) == nullptr) {
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

TUpgradeThread::TUpgradeThread(std::unique_ptr<TUpgradeObject> upgrade)
    : FUpgrade(std::move(upgrade)) {}

TUpgradeThread::~TUpgradeThread() = default;

void TUpgradeThread::Start() {
    {
        std::lock_guard<std::mutex> g(Running().Lock);
        ++Running().Count;
    }
    try {
        std::thread(&TUpgradeThread::ThreadMain, this).detach();
    } catch (...) {
        std::lock_guard<std::mutex> g(Running().Lock);
        --Running().Count;
        throw;
    }
}

void TUpgradeThread::ThreadMain(TUpgradeThread* self) {
    try {
        self->Execute();
    } catch (...) {
        // An error that escaped a step ends the run without a further line.
    }
    // The adapter belongs to the run and goes with it, before the window hears of the end.
    try {
        self->FUpgrade.reset();
    } catch (...) {
    }
    // The completion handler and the release both happen on the main thread; after this
    // call the worker touches nothing of the object or the host.
    platform::Host().RunOnMainThread([self] {
        try {
            if (self->OnTerminate) {
                self->OnTerminate();
            }
        } catch (...) {
        }
        delete self;
    });
    std::lock_guard<std::mutex> g(Running().Lock);
    --Running().Count;
    Running().Ended.notify_all();
}

bool TUpgradeThread::UploadUnderWay() {
    return UploadCount.load() > 0;
}

void TUpgradeThread::WaitUntilAllEnded() {
    std::unique_lock<std::mutex> lk(Running().Lock);
    Running().Ended.wait(lk, [] { return Running().Count == 0; });
}

void TUpgradeThread::Log(const std::string& text) {
    FLogText = text;
    platform::Host().RunOnMainThread([this] {
        if (OnLog) {
            OnLog(FLogText);
        }
    });
}

void TUpgradeThread::LogKey(const char* key) {
    Log(GetStrRes(key));
}

bool TUpgradeThread::ConfirmSameVersion() {
    if (!FUpgrade->IsSameVersion(FUpgrade->NewestVersion())) {
        return true;
    }
    const int answer = platform::Host().MessageBox(
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

    std::optional<TUploadMark> uploading(std::in_place);
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
