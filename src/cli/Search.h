#pragma once
// The LAN search as torvane-cli runs it (discover, and batch --discover).

#include "platform/Host.h"
#include "series/DevInfo.h"

#include <vector>

namespace torvane::cli {

// Says so on standard error when the search has nowhere to send at its start (it goes on:
// an interface that appears later is used from the next pass on).
void WarnSearchWithoutDestination();

// The window's search: one pass at once, then one a second for the given seconds, serving
// the main thread's queue meanwhile (queue must be bound to the calling thread); with find,
// the vendor library's search as well. The cameras found, in the list's order.
[[nodiscard]] std::vector<TDevInfo> SearchCameras(platform::TMainQueue& queue, long long seconds,
                                                  bool find);

} // namespace torvane::cli
