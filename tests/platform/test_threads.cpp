// The context, the ways to the main thread (hand-over and mailbox) and the diagnostic log.

#include "platform/Context.h"
#include "platform/Diag.h"
#include "platform/HandOver.h"
#include "support/FakeSleeper.h"
#include "support/TestHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace p = torvane::platform;

namespace {

// Until cond() holds or 5 s (real time) have passed; the queue's work is not run.
bool WaitFor(const std::function<bool()>& cond) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

// A part that says when it goes, and in which order.
struct TOrder {
    std::vector<std::string> Ended;
};
TOrder* GOrder = nullptr;

struct TFirstPart {
    int Value = 0;
    ~TFirstPart() {
        if (GOrder != nullptr) {
            GOrder->Ended.push_back("first");
        }
    }
};

struct TSecondPart {
    // Made from within another part's construction: parts may ask for parts.
    TSecondPart() { Value = p::Context().Part<TFirstPart>().Value + 1; }
    int Value = 0;
    ~TSecondPart() {
        if (GOrder != nullptr) {
            // An older part is still there while a newer one ends.
            GOrder->Ended.push_back("second saw " +
                                    std::to_string(p::Context().Part<TFirstPart>().Value));
        }
    }
};

TEST(Context, EachContextHasItsOwnStateAndEndsItsPartsNewestFirst) {
    TOrder order;
    GOrder = &order;
    torvane::test::TTestHost host;
    torvane::test::TFakeSleeper sleeper;
    {
        p::TContext outer;
        const p::TContextScope outerScope(outer);
        p::SetHost(&host);
        p::SetSleeper(&sleeper);
        p::Context().Part<TFirstPart>().Value = 5;
        EXPECT_EQ(&p::Host(), &host);
        EXPECT_EQ(p::TimeoutMs(8000), 200);
        {
            // A fresh context sees nothing of what the other one set.
            p::TContext inner;
            const p::TContextScope innerScope(inner);
            EXPECT_NE(&p::Host(), &host);
            EXPECT_EQ(p::TimeoutMs(8000), 8000);
            EXPECT_EQ(p::Context().Part<TFirstPart>().Value, 0);
            EXPECT_EQ(p::Context().Part<TSecondPart>().Value, 1);
        }
        EXPECT_EQ(&p::Context(), &outer);
        EXPECT_EQ(&p::Host(), &host);
        EXPECT_EQ(p::Context().Part<TFirstPart>().Value, 5);
        EXPECT_EQ(p::Context().Part<TSecondPart>().Value, 6);
        EXPECT_EQ(order.Ended, (std::vector<std::string>{"second saw 0", "first"}));
        order.Ended.clear();
    }
    EXPECT_EQ(order.Ended, (std::vector<std::string>{"second saw 5", "first"}));
    GOrder = nullptr;

    // Threads that ask for a part at the same moment all get the one part.
    p::TContext shared;
    std::vector<TFirstPart*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&, i] { seen[i] = &shared.Part<TFirstPart>(); });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (TFirstPart* part : seen) {
        EXPECT_EQ(part, seen.front());
    }
}

TEST(HandOver, CallsRunInOrderOnTheMainThreadAndCloseReleasesEveryWait) {
    p::TConsoleHost host;
    host.Queue().BindToCurrentThread();
    const auto mainThread = std::this_thread::get_id();
    p::THandOver handOver(host);

    std::vector<int> ran;
    bool allOnMain = true;
    std::atomic<bool> callsDone{false};
    std::thread sender([&] {
        for (int i = 1; i <= 3; ++i) {
            const bool run = handOver.Call([&, i] {
                allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
                ran.push_back(i);
            });
            EXPECT_TRUE(run);
            // Call returned: its work has run.
            EXPECT_EQ(ran.size(), static_cast<std::size_t>(i));
        }
        callsDone = true;
    });
    while (!callsDone) {
        host.Queue().WaitAndRun(5);
    }
    sender.join();
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(allOnMain);

    // On the main thread a call runs at once.
    EXPECT_TRUE(handOver.Call([&] { ran.push_back(4); }));
    EXPECT_EQ(ran.size(), 4u);

    // A thread waits in a call that the main thread never serves: closing releases it, so
    // the owner's join ends, and the work never runs, not even when the queue is run later.
    std::atomic<bool> waiting{false};
    std::atomic<int> result{-1};
    std::thread stuck([&] {
        waiting = true;
        result = handOver.Call([&] { ran.push_back(99); }) ? 1 : 0;
    });
    ASSERT_TRUE(WaitFor([&] { return waiting.load(); }));
    handOver.Close();
    stuck.join();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(handOver.Post([&] { ran.push_back(100); }));
    EXPECT_FALSE(handOver.Call([&] { ran.push_back(101); }));
    host.Queue().RunPending();
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3, 4}));

    // Posted work that has not begun when the hand-over closes is dropped; an error in work
    // that runs is caught there and the queue goes on.
    p::THandOver second(host);
    EXPECT_TRUE(second.Post([] { throw std::runtime_error("posted work failed"); }));
    EXPECT_TRUE(second.Post([&] { ran.push_back(5); }));
    host.Queue().RunPending();
    EXPECT_TRUE(second.Post([&] { ran.push_back(6); }));
    second.Close();
    host.Queue().RunPending();
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST(Mailbox, ItemsInOrderOneAtATimeBoundedAndDroppedWhenClosed) {
    p::TConsoleHost host;
    host.Queue().BindToCurrentThread();
    std::vector<int> handled;
    bool reentered = false;
    bool inHandler = false;
    p::TMailbox<int>* self = nullptr;
    p::TMailbox<int> box(
        host,
        [&](int& item) {
            reentered = reentered || inHandler;
            inHandler = true;
            handled.push_back(item);
            if (item == 2) {
                // Put while its batch is handled: it waits for the next round.
                EXPECT_TRUE(self->Put(20));
            }
            inHandler = false;
        },
        3);
    self = &box;

    std::thread producer([&] {
        for (int i = 1; i <= 4; ++i) {
            const bool taken = box.Put(int(i));
            EXPECT_EQ(taken, i <= 3) << i; // at most three wait
        }
    });
    producer.join();
    EXPECT_EQ(box.Waiting(), 3u);
    host.Queue().RunPending();
    EXPECT_EQ(handled, (std::vector<int>{1, 2, 3, 20}));
    EXPECT_FALSE(reentered);

    // Closed: what waits is dropped, nothing more is taken, and no handler runs again.
    EXPECT_TRUE(box.Put(7));
    box.Close();
    EXPECT_TRUE(box.Closed());
    EXPECT_EQ(box.Waiting(), 0u);
    EXPECT_FALSE(box.Put(8));
    host.Queue().RunPending();
    EXPECT_EQ(handled, (std::vector<int>{1, 2, 3, 20}));
}

TEST(DiagLog, SettingsCategoriesLinesAndCaughtErrors) {
    p::TDiagLog log;
    std::vector<std::string> lines;
    log.SetSink([&](const std::string& line) { lines.push_back(line); });

    // Off until switched on; an unknown name is handed back, the rest applies.
    log.Write(p::EDiag::Net, "not written");
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(log.Configure(" Net, ctp bogus"), "bogus");
    EXPECT_TRUE(log.Enabled(p::EDiag::Net));
    EXPECT_TRUE(log.Enabled(p::EDiag::Ctp));
    EXPECT_FALSE(log.Enabled(p::EDiag::Discovery));
    EXPECT_EQ(log.Configure("0"), "");
    EXPECT_EQ(log.Categories(),
              static_cast<unsigned>(p::EDiag::Net) | static_cast<unsigned>(p::EDiag::Ctp));
    p::TDiagLog all;
    EXPECT_EQ(all.Configure("1"), "");
    EXPECT_EQ(all.Categories(), p::DiagAll);
    p::TDiagLog none;
    EXPECT_EQ(none.Configure(""), "");
    EXPECT_EQ(none.Categories(), 0u);

    // One line each, with the program and the category; a line break makes no second line.
    log.Write(p::EDiag::Ctp, "a reply\nsplit");
    log.Write(p::EDiag::Discovery, "not on");
    log.Note("about the setting");
    ASSERT_EQ(lines.size(), 2u);
    const std::string program = p::ProgramNameForDiag();
    EXPECT_EQ(lines[0], program + ": debug ctp: a reply split");
    EXPECT_EQ(lines[1], program + ": debug: about the setting");

    // What a catch block passed over, with the exception's text.
    p::TContext context;
    const p::TContextScope scope(context);
    context.Diag().Enable(static_cast<unsigned>(p::EDiag::Upgrade));
    context.Diag().SetSink([&](const std::string& line) { lines.push_back(line); });
    try {
        throw std::runtime_error("disk full");
    } catch (...) {
        p::DiagCaught(p::EDiag::Upgrade, "writing the proof");
    }
    try {
        throw 42;
    } catch (...) {
        p::DiagCaught(p::EDiag::Upgrade, "a step");
    }
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], program + ": debug upgrade: writing the proof: caught and passed over: "
                                  "disk full");
    EXPECT_NE(lines[3].find("a step: caught and passed over: an error that is no exception"),
              std::string::npos);

    // Lines written from several threads at once come out whole.
    lines.clear();
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&log, t] {
            for (int i = 0; i < 100; ++i) {
                log.Write(p::EDiag::Net,
                          "writer " + std::to_string(t) + " line " + std::to_string(i));
            }
        });
    }
    for (auto& w : writers) {
        w.join();
    }
    ASSERT_EQ(lines.size(), 400u);
    for (const std::string& line : lines) {
        EXPECT_EQ(line.rfind(program + ": debug net: writer ", 0), 0u) << line;
    }
}

} // namespace
