// A stand-in for the camera vendor's client library, built as 909/libDVSNETClient.so beside
// the test program. DVSNET_SearchServers returns at once and reports three cameras (one of
// them twice) from a thread of its own; DVSNET_StopSearch ends that thread.

#include "discovery/DvsNetApi.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

std::mutex GLock;
std::vector<std::thread> GThreads; // one per search, joined when stopped
std::atomic<bool> GStop{false};
std::atomic<int> GStops{0};
std::atomic<int> GSearches{0};

void Report(TDvsNetSearchCallback callback, void* context) {
    const unsigned char mac1[6] = {0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x01};
    const unsigned char mac2[6] = {0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x02};
    if (GStop) {
        return;
    }
    callback(0, "Lobby", 0, "192.168.5.20", mac1, 0x10050, 554, "255.255.255.0",
             "192.168.5.1", "extra", "192.168.5.1", 0x12345, -7, 1, context);
    if (GStop) {
        return;
    }
    callback(0, "Stairs", 0, "192.168.5.3", mac2, 81, 0, "255.255.0.0", "", "", "", 0, 0, 2,
             context);
    if (GStop) {
        return;
    }
    callback(0, "Lobby", 0, "192.168.5.20", mac1, 0x10050, 554, "255.255.255.0",
             "192.168.5.1", "extra", "192.168.5.1", 0x12345, -7, 1, context);
}

void JoinLocked() {
    for (std::thread& t : GThreads) {
        t.join();
    }
    GThreads.clear();
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int DVSNET_SearchServers(int timeoutMs, int mode,
                                                                TDvsNetSearchCallback callback,
                                                                void* context, int reserved) {
    if (timeoutMs != 3000 || mode != 1 || reserved != 0 || callback == nullptr) {
        return -1;
    }
    std::lock_guard<std::mutex> g(GLock);
    GStop = false;
    ++GSearches;
    GThreads.emplace_back(Report, callback, context);
    return 0;
}

__attribute__((visibility("default"))) int DVSNET_StopSearch(void) {
    std::lock_guard<std::mutex> g(GLock);
    GStop = true;
    JoinLocked();
    ++GStops;
    return 0;
}

// For the tests: how often each entry point ran.
__attribute__((visibility("default"))) int FakeDvsNet_Stops(void) {
    return GStops;
}

__attribute__((visibility("default"))) int FakeDvsNet_Searches(void) {
    return GSearches;
}

} // extern "C"
