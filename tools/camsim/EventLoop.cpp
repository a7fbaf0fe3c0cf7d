#include "EventLoop.h"

#include "Error.h"
#include "Socket.h"

#include <algorithm>
#include <cerrno>

#include <poll.h>

namespace camsim {

void TEventLoop::Watch(int fd, short events, TFdHandler handler) {
    FWatches[fd] = TWatch{events, FNextGeneration++, std::move(handler)};
}

void TEventLoop::SetEvents(int fd, short events) {
    const auto found = FWatches.find(fd);
    if (found != FWatches.end()) {
        found->second.Events = events;
    }
}

void TEventLoop::Unwatch(int fd) {
    FWatches.erase(fd);
}

TEventLoop::TTimerId TEventLoop::After(std::chrono::milliseconds delay,
                                       std::function<void()> action) {
    const TTimerId id = FNextTimer++;
    FTimers[id] = TTimer{TClock::now() + delay, std::move(action)};
    return id;
}

void TEventLoop::Cancel(TTimerId id) {
    FTimers.erase(id);
}

void TEventLoop::Defer(std::function<void()> action) {
    FDeferred.push_back(std::move(action));
}

void TEventLoop::RunDeferred() {
    while (!FDeferred.empty() && !FStopped) {
        std::vector<std::function<void()>> batch;
        batch.swap(FDeferred);
        for (auto& action : batch) {
            action();
        }
    }
}

int TEventLoop::PollTimeoutMs() const {
    if (!FDeferred.empty()) {
        return 0;
    }
    if (FTimers.empty()) {
        return -1;
    }
    auto nearest = TClock::time_point::max();
    for (const auto& [id, timer] : FTimers) {
        nearest = std::min(nearest, timer.Deadline);
    }
    const auto wait =
        std::chrono::ceil<std::chrono::milliseconds>(nearest - TClock::now()).count();
    return static_cast<int>(std::clamp<long long>(wait, 0, 60'000));
}

void TEventLoop::RunDueTimers() {
    const auto now = TClock::now();
    std::vector<TTimerId> due;
    for (const auto& [id, timer] : FTimers) {
        if (timer.Deadline <= now) {
            due.push_back(id);
        }
    }
    for (const TTimerId id : due) {
        const auto found = FTimers.find(id);
        if (found == FTimers.end() || FStopped) {
            continue;
        }
        auto action = std::move(found->second.Action);
        FTimers.erase(found);
        action();
    }
}

void TEventLoop::Run() {
    FStopped = false;
    while (!FStopped) {
        RunDeferred();
        if (FStopped) {
            break;
        }
        std::vector<pollfd> polled;
        std::vector<std::uint64_t> generations;
        for (const auto& [fd, watch] : FWatches) {
            polled.push_back(pollfd{fd, watch.Events, 0});
            generations.push_back(watch.Generation);
        }
        const int ready = ::poll(polled.data(), polled.size(), PollTimeoutMs());
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw TRuntimeError("poll failed: " + SystemError(errno));
        }
        for (std::size_t i = 0; i < polled.size() && !FStopped; ++i) {
            if (polled[i].revents == 0) {
                continue;
            }
            const auto found = FWatches.find(polled[i].fd);
            if (found == FWatches.end() || found->second.Generation != generations[i]) {
                continue; // unwatched (or replaced) by an earlier handler of this round
            }
            // A copy: the handler may unwatch its own descriptor while it runs.
            const TFdHandler handler = found->second.Handler;
            handler(polled[i].revents);
        }
        RunDueTimers();
    }
}

} // namespace camsim
