#pragma once
// The host of the tests: it stands in for the window or the console. Every message box is
// recorded and answered from a script (TBoxScript, which the window tests' host in
// QtTestHost.h shares); "run on the main thread" work runs where it is asked for, or goes
// through a queue that the test's thread drains.

#include "platform/Host.h"

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace torvane::test {

struct TBox {
    std::string Text;
    std::string Caption;
    int Flags = 0;
};

// Records every box and answers it: the scripted answers in order, and once the script is
// used up, DefaultAnswer for a Yes/No box and IDOK for any other. Safe from any thread.
class TBoxScript {
public:
    // Answers given to the next boxes, in order.
    void ScriptAnswers(std::vector<int> answers);
    int DefaultAnswer = platform::IDNO;
    // When true, every box is also written to standard error as one line
    // "torvane box <flags>: <caption>: <text>", for a test that watches another process.
    bool Echo = false;

    [[nodiscard]] std::vector<TBox> Boxes() const;
    // Forgets the boxes and the script.
    void Clear();

protected:
    int AnswerBox(const std::string& text, const std::string& caption, int flags);

private:
    mutable std::mutex FLock;
    std::vector<TBox> FBoxes;
    std::deque<int> FAnswers;
};

class TTestHost : public platform::IHost, public TBoxScript {
public:
    using TBox = test::TBox;

    int MessageBox(const std::string& text, const std::string& caption, int flags) override;
    void RunOnMainThread(const std::function<void()>& fn) override;
    void SetBusyCursor(bool busy) override;
    [[nodiscard]] platform::TMainQueue* MainQueue() override;

    [[nodiscard]] int BusyCalls() const;
    [[nodiscard]] bool Busy() const;
    // Forgets the boxes, the script and the busy pointer's calls.
    void Clear();

    [[nodiscard]] platform::TMainQueue& Queue() { return FQueue; }
    // When false (the default), RunOnMainThread runs the callable on the calling thread
    // under a lock, which keeps deliveries one at a time. When true, it goes through the
    // queue, which the test's main thread drains (and which a teardown waiting on that
    // thread runs meanwhile, see IHost::MainQueue).
    bool UseQueue = false;

private:
    mutable std::mutex FLock;
    std::mutex FRunLock;
    int FBusyCalls = 0;
    bool FBusy = false;
    platform::TMainQueue FQueue;
};

} // namespace torvane::test
