#include "series/CtpSearch.h"

#include "i18n/Deployment.h"
#include "i18n/StrRes.h"
#include "platform/Sleeper.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <mutex>

namespace torvane {

namespace {

// Of a reply datagram, this much is looked at.
constexpr std::size_t SearchDatagramUsed = 511;

std::mutex GSearchPortsLock;
TCtpSearchPorts GSearchPorts;

} // namespace

TCtpSearchPorts CtpSearchPorts() {
    std::lock_guard<std::mutex> g(GSearchPortsLock);
    return GSearchPorts;
}

void SetCtpSearchPorts(TCtpSearchPorts ports) {
    std::lock_guard<std::mutex> g(GSearchPortsLock);
    GSearchPorts = ports;
}

int TSocketThread::SearchCTPDevices(TCTPDeviceList& list) {
    platform::TUdpSocket socket;
    if (!socket.Create()) {
        return 0;
    }
    const TCtpSearchPorts ports = CtpSearchPorts();
    // When the port is taken (the camera dialog's listener may hold it) the socket goes on
    // unbound: the probe leaves from a port the system picks and the replies come there.
    (void)socket.Bind(platform::IPv4Any, ports.Local);
    (void)socket.SetBroadcast(true);
    (void)socket.SetNonBlocking(true);
    const auto targets = SearchTargets();
    if (targets.empty()) {
        return 0; // no destination (no interface that can broadcast): nothing to wait for
    }
    (void)socket.SendToTargets(CtpSearchProbe.data(), CtpSearchProbe.size(), ports.Remote, targets);

    int count = 0;
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(platform::TimeoutMs(CtpSearchTotalMs));
    std::array<char, SearchDatagramUsed + 1> buffer{};
    while (std::chrono::steady_clock::now() < end) {
        if (socket.WaitReadable(CtpSearchReplyWaitMs) != platform::TWaitResult::Ready) {
            break;
        }
        const platform::TReceivedDatagram got =
            socket.ReceiveFrom(buffer.data(), SearchDatagramUsed);
        if (!got.Ok()) {
            if (got.WouldBlock()) {
                continue;
            }
            break;
        }
        const std::string_view datagram(buffer.data(), std::min(got.Count, SearchDatagramUsed));
        if (!ctp::IsSearchReply(datagram)) {
            continue; // empty, our own probe, or another family's datagram
        }
        list.push_back(ParseCTPSearchReply(datagram));
        ++count;
    }
    return count;
}

bool ReadDeviceVersion(const std::string& ip, int port, std::string& version) {
    TSocketThread client(ip, port);
    if (client.ConnectDevice() != CtpOk) {
        return false;
    }
    TCTPDeviceList replies;
    (void)TSocketThread::SearchCTPDevices(replies);
    version.clear();
    for (const auto& record : replies) {
        if (record.IP == ip) {
            version = record.Version;
            break;
        }
    }
    return true;
}

std::string GetDeviceVersion(const std::string& ip, int port) {
    std::string version;
    if (!ReadDeviceVersion(ip, port, version)) {
        return GetStrRes("IDS_IPCCONNETERR");
    }
    return version;
}

} // namespace torvane
