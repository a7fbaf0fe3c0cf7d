#include "upgrade/SiteUpgrade.h"

#include "i18n/StrRes.h"
#include "platform/Diag.h"
#include "platform/EnumTable.h"
#include "platform/Sleeper.h"
#include "upgrade/FirmwareFetches.h"
#include "upgrade/Progress.h"
#include "upgrade/uUpgradeFactory.h"
#include "upgrade/uUpgradeThread.h"

#include <algorithm>
#include <condition_variable>

namespace torvane {

namespace {

// Each camera outcome's name in reports and JSON and the key of its words in the window.
struct TOutcomeWords {
    ESiteCameraOutcome Value;
    const char* Name;
    const char* Key;
};
constexpr TOutcomeWords OutcomeWords[] = {
    {ESiteCameraOutcome::NotStarted, "not-started", "IDS_SITE_NOTSTARTED"},
    {ESiteCameraOutcome::Running, "running", "IDS_SITE_RUNNING"},
    {ESiteCameraOutcome::Upgraded, "upgraded", "IDS_SITE_UPGRADED"},
    {ESiteCameraOutcome::NothingToInstall, "nothing-to-install", "IDS_SITE_NOTHING"},
    {ESiteCameraOutcome::Failed, "failed", "IDS_SITE_FAILED"},
};

std::vector<bool> RunKinds(ESiteFirmware firmware) {
    switch (firmware) {
    case ESiteFirmware::System:
        return {true};
    case ESiteFirmware::UI:
        return {false};
    case ESiteFirmware::Both:
    default:
        return {true, false};
    }
}

} // namespace

std::string TSiteCamera::Name() const {
    return Address + ":" + std::to_string(Port);
}

std::string TSiteCamera::SeriesLetter() const {
    static const char* const Letters[] = {"E", "F", "H", "T"};
    return SeriesIndex >= 0 && SeriesIndex < 4 ? Letters[SeriesIndex] : "";
}

const char* OutcomeName(ERunClass outcome) {
    return OutcomeName(outcome == ERunClass::Installed     ? ESiteCameraOutcome::Upgraded
                       : outcome == ERunClass::NothingDone ? ESiteCameraOutcome::NothingToInstall
                                                           : ESiteCameraOutcome::Failed);
}

const char* OutcomeName(ESiteCameraOutcome outcome) {
    return platform::RowFor(OutcomeWords, outcome).Name;
}

const char* OutcomeKey(ESiteCameraOutcome outcome) {
    return platform::RowFor(OutcomeWords, outcome).Key;
}

TSiteSummary Summarize(const std::vector<TSiteCameraResult>& results) {
    const auto count = [&results](ESiteCameraOutcome outcome) {
        return static_cast<std::size_t>(std::count_if(
            results.begin(), results.end(),
            [outcome](const TSiteCameraResult& r) { return r.Outcome == outcome; }));
    };
    TSiteSummary s;
    s.Cameras = results.size();
    s.Upgraded = count(ESiteCameraOutcome::Upgraded);
    s.NothingToInstall = count(ESiteCameraOutcome::NothingToInstall);
    s.NotStarted = count(ESiteCameraOutcome::NotStarted);
    // The rest failed; a camera still running when the summary is made counts as failed.
    s.Failed = s.Cameras - s.Upgraded - s.NothingToInstall - s.NotStarted;
    return s;
}

// The host a run of a site upgrade works with: posted work goes to the site's host, and the
// boxes a run would show become notices of its camera instead of windows, because nobody
// can answer fifty boxes. The only question a run asks, whether to install the version the
// camera already runs, is answered by the site's policy.
class TSiteRunHost : public platform::IHost {
public:
    TSiteRunHost(platform::IHost& host, ESameVersion policy,
                 std::function<void(const std::string&)> notice)
        : FHost(host), FPolicy(policy), FNotice(std::move(notice)) {}

    int MessageBox(const std::string& text, const std::string& /*caption*/, int flags) override {
        if ((flags & 0x0F) == platform::MB_YESNO) {
            return FPolicy == ESameVersion::Reinstall ? platform::IDYES : platform::IDNO;
        }
        // Called on the main thread through the worker's hand-over.
        if (FNotice) {
            FNotice(text);
        }
        return platform::IDOK;
    }
    void Post(std::function<void()> fn) override { FHost.Post(std::move(fn)); }
    [[nodiscard]] bool IsMainThread() const override { return FHost.IsMainThread(); }
    void SetBusyCursor(bool /*busy*/) override {}

private:
    platform::IHost& FHost;
    ESameVersion FPolicy;
    std::function<void(const std::string&)> FNotice;
};

struct TSiteUpgrade::TSlot {
    std::mutex Lock;
    std::condition_variable RunEnded;
    TUpgradeThread* Worker = nullptr; // the run under way, under Lock
    bool Done = false;                // its completion has run, under Lock
    std::jthread Thread;              // last: joined before the rest goes
};

TSiteUpgrade::TSiteUpgrade(std::vector<TSiteCamera> cameras, const TSiteOptions& options,
                           platform::IHost& host)
    : FCameras(std::move(cameras)), FOptions(options), FHost(host),
      FFetches(std::make_shared<TFirmwareFetches>()), FHandOver(host) {
    FOptions.Parallel = std::clamp(FOptions.Parallel, 1, TSiteOptions::MaxParallel);
    FResults.resize(FCameras.size());
    for (std::size_t i = 0; i < FCameras.size(); ++i) {
        FResults[i].Camera = FCameras[i];
        FResults[i].Camera.Password.clear();
    }
}

TSiteUpgrade::~TSiteUpgrade() {
    Close();
    Wait();
}

void TSiteUpgrade::Start() {
    if (FStarted.exchange(true)) {
        return;
    }
    FRunning = true;
    const std::size_t slots =
        std::min<std::size_t>(static_cast<std::size_t>(FOptions.Parallel), FCameras.size());
    if (slots == 0) {
        FHandOver.Post([this] { SlotEnded(); });
        FSlotsRunning = 1;
        return;
    }
    FSlotsRunning = slots;
    FSlots.reserve(slots);
    for (std::size_t i = 0; i < slots; ++i) {
        FSlots.push_back(std::make_unique<TSlot>());
    }
    for (std::size_t i = 0; i < slots; ++i) {
        FSlots[i]->Thread = std::jthread([this, i] { SlotMain(i); });
    }
}

void TSiteUpgrade::Stop() {
    FStopping = true;
}

void TSiteUpgrade::Close() {
    FStopping = true;
    FClosed = true;
    FHandOver.Close();
    for (const auto& slot : FSlots) {
        std::lock_guard<std::mutex> g(slot->Lock);
        if (slot->Worker != nullptr) {
            slot->Worker->Close();
        }
        slot->RunEnded.notify_all();
    }
}

void TSiteUpgrade::Wait() {
    for (const auto& slot : FSlots) {
        if (slot->Thread.joinable() && slot->Thread.get_id() != std::this_thread::get_id()) {
            slot->Thread.join();
        }
    }
}

bool TSiteUpgrade::UploadUnderWay() const {
    for (const auto& slot : FSlots) {
        std::lock_guard<std::mutex> g(slot->Lock);
        if (slot->Worker != nullptr && slot->Worker->UploadUnderWay()) {
            return true;
        }
    }
    return false;
}

void TSiteUpgrade::SlotMain(std::size_t slot) {
    for (;;) {
        if (FStopping) {
            break;
        }
        std::size_t camera = 0;
        {
            std::lock_guard<std::mutex> g(FLock);
            if (FNext >= FCameras.size()) {
                break;
            }
            camera = FNext++;
        }
        try {
            RunCamera(camera, *FSlots[slot]);
        } catch (...) {
            // Nothing of one camera may end the others' turns.
            platform::DiagCaught(platform::EDiag::Upgrade, "a camera of the site upgrade");
            (void)FHandOver.Post([this, camera] { CameraEnded(camera); });
        }
    }
    (void)FHandOver.Post([this] { SlotEnded(); });
}

void TSiteUpgrade::RunCamera(std::size_t camera, TSlot& slot) {
    (void)FHandOver.Post([this, camera] { FResults[camera].Outcome = ESiteCameraOutcome::Running; });
    const std::vector<bool> kinds = RunKinds(FOptions.Firmware);
    for (std::size_t i = 0; i < kinds.size() && !FClosed; ++i) {
        if (i > 0) {
            platform::SleepMs(FOptions.PauseBetweenRunsMs);
        }
        RunOne(camera, kinds[i], slot);
    }
    (void)FHandOver.Post([this, camera] { CameraEnded(camera); });
}

void TSiteUpgrade::RunOne(std::size_t camera, bool isSystem, TSlot& slot) {
    const TSiteCamera& cam = FCameras[camera];
    const auto start = std::chrono::system_clock::now();
    (void)FHandOver.Post([this, camera, isSystem, start] {
        TSiteRunResult run;
        run.IsSystem = isSystem;
        run.Start = start;
        FResults[camera].Runs.push_back(std::move(run));
        if (OnRunStarted) {
            OnRunStarted(camera, isSystem);
        }
    });

    std::unique_ptr<TUpgradeObject> upgrade = TUpgradeFactory::CreateUpgrade(cam.SeriesIndex, isSystem);
    if (!upgrade) {
        (void)FHandOver.Post([this, camera] {
            TSiteRunResult& run = FResults[camera].Runs.back();
            run.End = std::chrono::system_clock::now();
            run.Outcome = ERunClass::Failed;
            if (OnRunFinished) {
                OnRunFinished(camera, run);
            }
        });
        return;
    }
    upgrade->SetUser(cam.User);
    upgrade->SetPassword(cam.Password);
    upgrade->SetIP(cam.Address);
    upgrade->SetPort(cam.Port);
    upgrade->SetFetches(FFetches);

    // The run's notices reach the main thread through the worker's hand-over (its boxes);
    // the host goes after the worker, which is joined below.
    TSiteRunHost host(FHost, FOptions.SameVersion, [this, camera, isSystem](const std::string& text) {
        if (FResults[camera].Runs.empty()) {
            return;
        }
        FResults[camera].Runs.back().Notices.push_back(text);
        if (OnNotice) {
            OnNotice(camera, isSystem, text);
        }
    });
    auto worker = std::make_unique<TUpgradeThread>(std::move(upgrade), host);
    TUpgradeThread* w = worker.get();
    worker->OnLogKey = [this, camera, isSystem](const std::string& key, const std::string& text) {
        TSiteRunResult& run = FResults[camera].Runs.back();
        run.Log.push_back(FormatLogLine(text));
        run.LastText = text;
        if (OnLog) {
            OnLog(camera, isSystem, key, text);
        }
    };
    worker->OnProgress = [this, camera, isSystem](const TProgress& progress) {
        if (OnProgress) {
            OnProgress(camera, isSystem, progress);
        }
    };
    worker->OnTerminate = [this, camera, w, &slot] {
        TSiteRunResult& run = FResults[camera].Runs.back();
        const TRunResult& result = w->Result();
        run.End = std::chrono::system_clock::now();
        run.Outcome = result.Class();
        run.OutcomeKey = result.OutcomeKey;
        run.VersionBefore = result.VersionBefore;
        run.VersionOffered = result.VersionOffered;
        run.VersionAfter = result.VersionAfter;
        if (run.Outcome == ERunClass::NothingDone && run.VersionAfter.empty()) {
            run.VersionAfter = run.VersionBefore; // nothing was sent: it runs what it ran
        }
        if (!result.OutcomeText.empty()) {
            run.LastText = result.OutcomeText;
        }
        if (OnRunFinished) {
            OnRunFinished(camera, run);
        }
        std::lock_guard<std::mutex> g(slot.Lock);
        slot.Done = true;
        slot.RunEnded.notify_all();
    };
    {
        std::lock_guard<std::mutex> g(slot.Lock);
        slot.Worker = w;
        slot.Done = false;
        if (FClosed) {
            w->Close();
        }
    }
    try {
        worker->Start();
    } catch (...) {
        // No thread for the run: it never began, and the slot forgets the worker before
        // it goes.
        std::lock_guard<std::mutex> g(slot.Lock);
        slot.Worker = nullptr;
        throw;
    }
    {
        // The completion runs on the main thread; the worker stays until it has, or until
        // the site upgrade is closed (then it never runs).
        std::unique_lock<std::mutex> g(slot.Lock);
        slot.RunEnded.wait(g, [&] { return slot.Done || FClosed.load(); });
        slot.Worker = nullptr;
    }
    worker.reset(); // joins the worker's thread
}

void TSiteUpgrade::CameraEnded(std::size_t camera) {
    TSiteCameraResult& r = FResults[camera];
    bool anyFailed = r.Runs.empty();
    bool anyUpgraded = false;
    for (const TSiteRunResult& run : r.Runs) {
        anyFailed = anyFailed || run.Outcome == ERunClass::Failed;
        anyUpgraded = anyUpgraded || run.Outcome == ERunClass::Installed;
    }
    r.Outcome = anyFailed     ? ESiteCameraOutcome::Failed
                : anyUpgraded ? ESiteCameraOutcome::Upgraded
                              : ESiteCameraOutcome::NothingToInstall;
    if (OnCameraFinished) {
        OnCameraFinished(camera, r);
    }
}

void TSiteUpgrade::SlotEnded() {
    if (FSlotsRunning > 0 && --FSlotsRunning > 0) {
        return;
    }
    // Every slot has ended: the cameras never started were left out by Stop.
    for (std::size_t i = 0; i < FResults.size(); ++i) {
        if (FResults[i].Outcome == ESiteCameraOutcome::NotStarted && OnCameraFinished) {
            OnCameraFinished(i, FResults[i]);
        }
    }
    FRunning = false;
    if (OnFinished) {
        // A copy: the handler may destroy this object.
        auto done = OnFinished;
        done();
    }
}

} // namespace torvane
