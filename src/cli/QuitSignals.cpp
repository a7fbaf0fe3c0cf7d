#include "cli/QuitSignals.h"

#include "i18n/StrRes.h"
#include "platform/QuitSignals.h"
#include "upgrade/uUpgradeThread.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace torvane::cli {

namespace {

// How often the signal thread looks whether an upload it waits for has ended.
constexpr long UploadPollMs = 50;

struct TQuitState {
    // Guards Packs. The signal thread takes it for good once it ends the program, so packs
    // that it deletes can never be going away at the same time.
    std::mutex Lock;
    TfrmStrRes* Packs = nullptr;
};

// Never destroyed: a signal that comes while the program exits must find it alive.
TQuitState& State() {
    static auto* state = new TQuitState;
    return *state;
}

void Watch(sigset_t set) {
    int sig = platform::WaitForSignal(set);
    if (TUpgradeThread::UploadUnderWay()) {
        const std::string notice = GetStrRes("IDS_ENDAFTERUPLOAD");
        if (!notice.empty()) {
            std::fputs((notice + "\n").c_str(), stderr);
            std::fflush(stderr);
        }
        while (TUpgradeThread::UploadUnderWay()) {
            const int again = platform::WaitForSignalFor(set, UploadPollMs);
            if (again > 0) {
                sig = again; // a second signal: end now
                break;
            }
        }
    }
    State().Lock.lock(); // kept: the program ends below
    if (State().Packs != nullptr) {
        State().Packs->DeletePackFolder();
    }
    // As if no one had caught it, so a shell sees "interrupted" and stops a script.
    platform::EndBySignal(sig);
}

} // namespace

void StartQuitSignals() {
    static std::once_flag once;
    std::call_once(once, [] {
        sigset_t set;
        if (!platform::QuitSignalsNotIgnored(set) || !platform::BlockSignals(set)) {
            return;
        }
        try {
            std::thread(Watch, set).detach();
        } catch (...) {
            // No thread to take them: the signals keep their default action.
            platform::UnblockSignals(set);
        }
    });
}

TCliPacks::TCliPacks() {
    const std::lock_guard<std::mutex> guard(State().Lock);
    FHolder = std::make_unique<TfrmStrRes>();
    State().Packs = FHolder.get();
}

TCliPacks::~TCliPacks() {
    const std::lock_guard<std::mutex> guard(State().Lock);
    State().Packs = nullptr;
    FHolder.reset();
}

} // namespace torvane::cli
