#include "cli/QuitSignals.h"

#include "i18n/StrRes.h"
#include "platform/Diag.h"
#include "platform/Locked.h"
#include "platform/QuitSignals.h"

#include <csignal>
#include <cstdio>
#include <functional>
#include <mutex>
#include <stop_token>
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
    // What the upgrade command sets for its worker's life.
    platform::TLocked<std::function<bool()>> UploadUnderWay;
    // What torvane-cli batch sets for its site upgrade's life.
    platform::TLocked<std::function<void()>> FirstInterrupt;
};

// Never destroyed: a signal that comes while the program exits must find it alive.
TQuitState& State() {
    static auto* state = new TQuitState;
    return *state;
}

// Asked under the lock, so that the watch's end waits for the answer.
bool UploadUnderWay() {
    return State().UploadUnderWay.With(
        [](const std::function<bool()>& underWay) { return underWay && underWay(); });
}

// Where each kind of hook is kept.
template <typename F>
platform::TLocked<std::function<F>>& HookOf();
template <>
platform::TLocked<std::function<bool()>>& HookOf() {
    return State().UploadUnderWay;
}
template <>
platform::TLocked<std::function<void()>>& HookOf() {
    return State().FirstInterrupt;
}

// The first SIGINT while a handler is set: the handler runs (and is used up); true when it
// did, so that the program goes on.
bool TakeFirstInterrupt(int sig) {
    if (sig != SIGINT) {
        return false;
    }
    std::function<void()> handler;
    State().FirstInterrupt.With([&handler](std::function<void()>& set) { handler.swap(set); });
    if (!handler) {
        return false;
    }
    handler();
    return true;
}

void Watch(const std::stop_token& stop, sigset_t set) {
    int sig = 0;
    // The wake signal counts only when the owner asks the thread to end; one sent from
    // outside is passed over.
    do {
        sig = platform::WaitForSignal(set);
        if (sig == platform::WakeSignal() && stop.stop_requested()) {
            return;
        }
    } while (sig == platform::WakeSignal() || TakeFirstInterrupt(sig));
    if (UploadUnderWay()) {
        const std::string notice = GetStrRes("IDS_ENDAFTERUPLOAD");
        if (!notice.empty()) {
            std::fputs((notice + "\n").c_str(), stderr);
            std::fflush(stderr);
        }
        while (UploadUnderWay()) {
            const int again = platform::WaitForSignalFor(set, UploadPollMs);
            if (again == platform::WakeSignal()) {
                if (stop.stop_requested()) {
                    break; // the program is at its end: the upload is over
                }
                continue;
            }
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

TQuitSignals::TQuitSignals() {
    sigset_t set;
    if (!platform::QuitSignalsNotIgnored(set)) {
        return;
    }
    platform::AddWakeSignal(set);
    if (!platform::BlockSignals(set)) {
        return;
    }
    try {
        FThread = std::jthread([set](const std::stop_token& stop) { Watch(stop, set); });
    } catch (...) {
        // No thread to take them: the signals keep their default action.
        platform::DiagCaught(platform::EDiag::Host, "starting the thread for quit signals");
        platform::UnblockSignals(set);
    }
}

TQuitSignals::~TQuitSignals() {
    if (FThread.joinable()) {
        FThread.request_stop();
        platform::SendWakeSignal(FThread.native_handle());
        FThread.join();
    }
}

template <typename F>
TSignalHook<F>::TSignalHook(std::function<F> hook) {
    HookOf<F>().Set(std::move(hook));
}

template <typename F>
TSignalHook<F>::~TSignalHook() {
    HookOf<F>().Set(nullptr);
}

template class TSignalHook<bool()>;
template class TSignalHook<void()>;

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
