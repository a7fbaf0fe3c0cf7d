#include "platform/Folders.h"
#include "platform/Host.h"
#include "platform/InstanceLock.h"
#include "platform/Sleeper.h"
#include "support/FakeSleeper.h"
#include "support/TestHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace p = torvane::platform;

TEST(Host, MainQueueRunsWorkOnTheMainThreadAndWaits) {
    p::TMainQueue queue;
    queue.BindToCurrentThread();
    std::atomic<bool> ran{false};
    std::thread::id where;
    std::thread worker([&] {
        queue.RunAndWait([&] {
            where = std::this_thread::get_id();
            ran = true;
        });
        // RunAndWait returned: the job has run.
        EXPECT_TRUE(ran.load());
    });
    while (!ran) {
        queue.WaitAndRun(50);
    }
    worker.join();
    EXPECT_EQ(where, std::this_thread::get_id());
    int direct = 0;
    queue.RunAndWait([&] { direct = 1; }); // on the main thread: at once
    EXPECT_EQ(direct, 1);
}

TEST(Host, TestHostScriptsAnswers) {
    torvane::test::TTestHost host;
    host.ScriptAnswers({p::IDYES});
    EXPECT_EQ(host.MessageBox("q", "c", 36), p::IDYES);
    EXPECT_EQ(host.MessageBox("q", "c", 36), p::IDNO);
    EXPECT_EQ(host.MessageBox("e", "c", 16), p::IDOK);
    EXPECT_EQ(host.Boxes().size(), 3u);
    host.SetBusyCursor(true);
    EXPECT_TRUE(host.Busy());
}

TEST(Sleeper, FakeAndScaledSleepers) {
    torvane::test::TFakeSleeper fake;
    p::SetSleeper(&fake);
    p::SleepMs(40000);
    p::SleepMs(1000);
    EXPECT_EQ(fake.TotalMs(), 41000);
    EXPECT_EQ(p::TimeoutMs(8000), 200);
    EXPECT_EQ(p::TimeoutMs(10), 10);
    p::SetSleeper(nullptr);
    EXPECT_EQ(p::TimeoutMs(8000), 8000);
    p::TScaledSleeper scaled(0.001, 100);
    EXPECT_EQ(scaled.Timeout(20000), 100);
    EXPECT_EQ(scaled.Timeout(50), 50);
}

TEST(FileLock, SharedUsersAndTheLastOne) {
    const std::string path = p::TempFolder() + "use.lock";
    p::TFileLock a;
    p::TFileLock b;
    ASSERT_TRUE(a.Open(path));
    ASSERT_TRUE(b.Open(path));
    ASSERT_TRUE(a.LockShared());
    ASSERT_TRUE(b.LockShared());
    EXPECT_FALSE(a.TryLockExclusive()); // b still uses it
    b.Close();
    p::TFileLock c;
    ASSERT_TRUE(c.Open(path));
    EXPECT_TRUE(c.TryLockExclusive() || a.TryLockExclusive());
}
