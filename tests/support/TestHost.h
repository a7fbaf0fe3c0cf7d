#pragma once
// The host of the tests: it stands in for the window or the console. Every message box is
// recorded and answered from a script (TBoxScript, which the window tests' host in
// QtTestHost.h shares); posted work runs where it is posted, or goes through a queue that
// the test's thread drains.

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
    void Post(std::function<void()> fn) override;
    [[nodiscard]] bool IsMainThread() const override;
    void SetBusyCursor(bool busy) override;

    [[nodiscard]] int BusyCalls() const;
    [[nodiscard]] bool Busy() const;
    // Forgets the boxes, the script and the busy pointer's calls.
    void Clear();

    [[nodiscard]] platform::TMainQueue& Queue() { return FQueue; }
    // When false (the default), posted work runs at once on the posting thread under a
    // lock, which keeps it one at a time (no thread counts as the main thread). When true,
    // it goes through the queue, which the test's main thread drains.
    bool UseQueue = false;

private:
    mutable std::mutex FLock;
    std::recursive_mutex FRunLock;
    int FBusyCalls = 0;
    bool FBusy = false;
    platform::TMainQueue FQueue;
};

} // namespace torvane::test
