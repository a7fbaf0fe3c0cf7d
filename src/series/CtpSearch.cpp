#include "series/CtpSearch.h"

#include "i18n/Deployment.h"
#include "i18n/StrRes.h"
#include "platform/Context.h"
#include "platform/Diag.h"
#include "platform/Sleeper.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <mutex>

namespace torvane {

namespace {

// Of a reply datagram, this much is looked at.
constexpr std::size_t SearchDatagramUsed = 511;

// The ports of one context (platform/Context.h).
struct TSearchPortsPart {
    std::mutex Lock;
    TCtpSearchPorts Ports;
};

TSearchPortsPart& SearchPortsPart() {
    return platform::Context().Part<TSearchPortsPart>();
}

} // namespace

TCtpSearchPorts CtpSearchPorts() {
    TSearchPortsPart& part = SearchPortsPart();
    std::lock_guard<std::mutex> g(part.Lock);
    return part.Ports;
}

void SetCtpSearchPorts(TCtpSearchPorts ports) {
    TSearchPortsPart& part = SearchPortsPart();
    std::lock_guard<std::mutex> g(part.Lock);
    part.Ports = ports;
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
        // No destination (no interface that can broadcast): nothing to wait for.
        platform::Diag(platform::EDiag::Ctp, "the version search has nowhere to send");
        return 0;
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
            platform::Diag(platform::EDiag::Ctp,
                           "the version search ends early: a read failed: " + got.ErrorText());
            break;
        }
        const std::string_view datagram(buffer.data(), std::min(got.Count, SearchDatagramUsed));
        if (!ctp::IsSearchReply(datagram)) {
            // Empty, our own probe, or another family's datagram.
            if (platform::DiagOn(platform::EDiag::Ctp)) {
                platform::Diag(platform::EDiag::Ctp,
                               "the version search passed over a datagram of " +
                                   std::to_string(got.Count) + " bytes from " +
                                   platform::IPv4ToText(got.From) + ":" +
                                   std::to_string(got.FromPort) + ": no CTP search reply");
            }
            continue;
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
    bool found = false;
    for (const auto& record : replies) {
        if (record.IP == ip) {
            version = record.Version;
            found = true;
            break;
        }
        // A reply from a camera that is not the one asked about.
        if (platform::DiagOn(platform::EDiag::Ctp)) {
            const std::string who = record.IP.empty() ? "a camera without an address" : record.IP;
            platform::Diag(platform::EDiag::Ctp,
                           "the version search passed over the reply of " + who +
                               ", which is not " + ip);
        }
    }
    if (!found) {
        platform::Diag(platform::EDiag::Ctp, "no reply of the version search names " + ip);
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
