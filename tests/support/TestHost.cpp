#include "support/TestHost.h"

#include <cstdio>

namespace torvane::test {

// --- TBoxScript -------------------------------------------------------------------------

void TBoxScript::ScriptAnswers(std::vector<int> answers) {
    std::lock_guard<std::mutex> g(FLock);
    FAnswers.assign(answers.begin(), answers.end());
}

std::vector<TBox> TBoxScript::Boxes() const {
    std::lock_guard<std::mutex> g(FLock);
    return FBoxes;
}

void TBoxScript::Clear() {
    std::lock_guard<std::mutex> g(FLock);
    FBoxes.clear();
    FAnswers.clear();
}

int TBoxScript::AnswerBox(const std::string& text, const std::string& caption, int flags) {
    if (Echo) {
        std::fprintf(stderr, "torvane box %d: %s: %s\n", flags, caption.c_str(), text.c_str());
        std::fflush(stderr);
    }
    std::lock_guard<std::mutex> g(FLock);
    FBoxes.push_back({text, caption, flags});
    if (!FAnswers.empty()) {
        const int answer = FAnswers.front();
        FAnswers.pop_front();
        return answer;
    }
    return (flags & 0x0F) == platform::MB_YESNO ? DefaultAnswer : platform::IDOK;
}

// --- TTestHost --------------------------------------------------------------------------

int TTestHost::MessageBox(const std::string& text, const std::string& caption, int flags) {
    return AnswerBox(text, caption, flags);
}

void TTestHost::Post(std::function<void()> fn) {
    if (UseQueue) {
        FQueue.Post(std::move(fn));
        return;
    }
    std::lock_guard<std::recursive_mutex> g(FRunLock);
    fn();
}

bool TTestHost::IsMainThread() const {
    return UseQueue && FQueue.IsMainThread();
}

void TTestHost::SetBusyCursor(bool busy) {
    std::lock_guard<std::mutex> g(FLock);
    ++FBusyCalls;
    FBusy = busy;
}

int TTestHost::BusyCalls() const {
    std::lock_guard<std::mutex> g(FLock);
    return FBusyCalls;
}

bool TTestHost::Busy() const {
    std::lock_guard<std::mutex> g(FLock);
    return FBusy;
}

void TTestHost::Clear() {
    TBoxScript::Clear();
    std::lock_guard<std::mutex> g(FLock);
    FBusyCalls = 0;
    FBusy = false;
}

} // namespace torvane::test
