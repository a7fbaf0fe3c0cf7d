#include "cli/QuitSignals.h"

#include "i18n/StrRes.h"
#include "upgrade/uUpgradeThread.h"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>

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

// Ends the process by sig, with the default action, as if no one had caught it (so a shell
// sees "interrupted" and stops a script).
[[noreturn]] void EndBySignal(int sig) {
    std::fflush(nullptr);
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    (void)::sigaction(sig, &action, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    (void)::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    (void)::raise(sig);
    ::_exit(128 + sig);
}

void Watch(sigset_t set) {
    int sig = 0;
    while (::sigwait(&set, &sig) != 0) {
    }
    if (TUpgradeThread::UploadUnderWay()) {
        const std::string notice = GetStrRes("IDS_ENDAFTERUPLOAD");
        if (!notice.empty()) {
            std::fputs((notice + "\n").c_str(), stderr);
            std::fflush(stderr);
        }
        const timespec slice{0, UploadPollMs * 1000000L};
        while (TUpgradeThread::UploadUnderWay()) {
            const int again = ::sigtimedwait(&set, nullptr, &slice);
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
    EndBySignal(sig);
}

} // namespace

void StartQuitSignals() {
    static std::once_flag once;
    std::call_once(once, [] {
        sigset_t set;
        sigemptyset(&set);
        bool any = false;
        for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction current {};
            if (::sigaction(sig, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
                continue;
            }
            sigaddset(&set, sig);
            any = true;
        }
        if (!any || ::pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) {
            return;
        }
        try {
            std::thread(Watch, set).detach();
        } catch (...) {
            // No thread to take them: the signals keep their default action.
            (void)::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
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
