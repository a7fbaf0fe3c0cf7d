// Fuzzer of the session's datagram handling (every family; the 1010 hello, information and
// DDNS messages among them) with the merge into the list. The session is never started:
// its listeners are closed, so no answer leaves the process.

#include "discovery/DiscoverySession.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

torvane::TDiscoverySession& Session() {
    static torvane::TDiscoverySession session(torvane::TDiscoveryPorts{}, nullptr,
                                              "/nonexistent/909/libDVSNETClient.so");
    return session;
}

// Entries that DDNS messages may find: the MACs 00 11 22 33 44 55 and 00 00 00 00 00 00.
void Seed(torvane::TDiscoverySession& session) {
    for (const char* id : {"001122334455", "000000000000"}) {
        torvane::TDevInfo r;
        r.nType = 8;
        r.szID = id;
        r.szIPAddr = "10.0.0.1";
        (void)session.AddOrUpdateDevice(r);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    torvane::TDiscoverySession& session = Session();
    if (session.Count() == 0 || session.Count() > 500) {
        session.ClearDevices();
        Seed(session);
    }
    const std::string_view datagram(reinterpret_cast<const char*>(data), size);
    torvane::TDevInfo record;
    if (session.ParseDatagram(datagram, record)) {
        (void)session.AddOrUpdateDevice(record);
    }
    session.HandleDatagram(datagram);
    if (session.Count() > 0 && session.SelectedIndex() < 0) {
        __builtin_trap(); // a non-empty list always has a selected item after a merge
    }
    return 0;
}
