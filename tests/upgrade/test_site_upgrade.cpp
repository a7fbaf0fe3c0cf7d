// The site engine's schedule: no more cameras in flight than the limit, Stop starts no new
// camera while the running ones finish, Close delivers nothing more and still ends every
// thread, and every event arrives on the main thread.

#include "i18n/StrRes.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"
#include "upgrade/SiteUpgrade.h"
#include "upgrade/uUpgradeFactory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace torvane {
namespace {

// Runs wait at their login until the test opens the gate; then the camera refuses the
// password, which ends a run at once without any network.
struct TGate {
    std::mutex Lock;
    std::condition_variable Changed;
    int Entered = 0;
    int MostInside = 0;
    int Inside = 0;
    bool Open = false;

    void Pass() {
        std::unique_lock<std::mutex> g(Lock);
        ++Entered;
        MostInside = std::max(MostInside, ++Inside);
        Changed.notify_all();
        (void)Changed.wait_for(g, std::chrono::seconds(30), [this] { return Open; });
        --Inside;
    }
    void Release() {
        std::lock_guard<std::mutex> g(Lock);
        Open = true;
        Changed.notify_all();
    }
    int EnteredNow() {
        std::lock_guard<std::mutex> g(Lock);
        return Entered;
    }
};

class TGatedUpgrade : public TSysUpgradeObject {
public:
    explicit TGatedUpgrade(std::shared_ptr<TGate> gate) : FGate(std::move(gate)) {}
    [[nodiscard]] int Login() override {
        FGate->Pass();
        return LoginRefused;
    }

private:
    std::shared_ptr<TGate> FGate;
};

class SiteUpgradeTest : public ::testing::Test {
protected:
    void SetUp() override {
        Host.UseQueue = true;
        Host.Queue().BindToCurrentThread();
        for (const bool system : {true, false}) {
            TUpgradeFactory::RegisterCreator(1, system, [gate = Gate] {
                return std::make_unique<TGatedUpgrade>(gate);
            });
        }
    }

    std::vector<TSiteCamera> Cameras(int n) const {
        std::vector<TSiteCamera> cameras;
        for (int i = 0; i < n; ++i) {
            cameras.push_back({1, "127.0.0." + std::to_string(10 + i), 81, "admin", "secret"});
        }
        return cameras;
    }

    // Serves the main thread until done() holds (or a generous bound passes).
    template <class F> bool ServeUntil(F done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            Host.Queue().WaitAndRun(20);
        }
        return true;
    }

    // Counts the events and checks that each comes on the main thread.
    void Watch(TSiteUpgrade& site) {
        site.OnRunFinished = [this](std::size_t, const TSiteRunResult& run) {
            EXPECT_TRUE(Host.IsMainThread());
            EXPECT_EQ(run.OutcomeKey, "IDS_PASSWORDERROR");
            ++RunsFinished;
        };
        site.OnCameraFinished = [this](std::size_t, const TSiteCameraResult&) {
            EXPECT_TRUE(Host.IsMainThread());
            ++CamerasFinished;
        };
        site.OnFinished = [this] {
            EXPECT_TRUE(Host.IsMainThread());
            Finished = true;
        };
    }

    test::TFakeSleeperScope Sleep;
    test::TTestHost Host;
    std::shared_ptr<TGate> Gate = std::make_shared<TGate>();
    int RunsFinished = 0;
    int CamerasFinished = 0;
    bool Finished = false;
};

TEST_F(SiteUpgradeTest, TheLimitHoldsAndStopStartsNoNewCamera) {
    TSiteOptions options;
    options.Parallel = 2;
    options.Firmware = ESiteFirmware::Both;
    TSiteUpgrade site(Cameras(6), options, Host);
    Watch(site);
    site.Start();
    ASSERT_TRUE(ServeUntil([&] { return Gate->EnteredNow() == 2; }));
    site.Stop();
    Gate->Release();
    ASSERT_TRUE(ServeUntil([&] { return Finished; }));
    site.Wait();

    // The two cameras in flight finished both their runs; the other four never started.
    EXPECT_EQ(Gate->MostInside, 2);
    EXPECT_EQ(Gate->EnteredNow(), 4);
    EXPECT_EQ(RunsFinished, 4);
    EXPECT_EQ(CamerasFinished, 6);
    const auto& results = site.Results();
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].Outcome,
                  i < 2 ? ESiteCameraOutcome::Failed : ESiteCameraOutcome::NotStarted);
        EXPECT_TRUE(results[i].Camera.Password.empty()) << "no password in the records";
    }
    ASSERT_EQ(results[0].Runs.size(), 2u);
    EXPECT_TRUE(results[0].Runs[0].IsSystem);
    EXPECT_FALSE(results[0].Runs[1].IsSystem);
    EXPECT_EQ(results[0].Runs[1].LastText, GetStrRes("IDS_PASSWORDERROR"));
    const TSiteSummary summary = Summarize(results);
    EXPECT_EQ(summary.Failed, 2u);
    EXPECT_EQ(summary.NotStarted, 4u);
    EXPECT_FALSE(summary.AllGood());
}

TEST_F(SiteUpgradeTest, CloseDeliversNothingMoreAndEveryThreadEnds) {
    TSiteOptions options;
    options.Parallel = 64;
    {
        TSiteUpgrade site(Cameras(3), options, Host);
        Watch(site);
        site.Start();
        ASSERT_TRUE(ServeUntil([&] { return Gate->EnteredNow() == 3; }));
        site.Close();
        Gate->Release();
        // The destructor joins the slots, which join their workers: none of them waits for
        // the main thread any more.
    }
    Host.Queue().RunPending();
    EXPECT_EQ(RunsFinished, 0);
    EXPECT_EQ(CamerasFinished, 0);
    EXPECT_FALSE(Finished);
    EXPECT_EQ(Gate->EnteredNow(), 3) << "no camera started after Close";
}

} // namespace
} // namespace torvane
