#include "series/SR_924.h"

#include "i18n/Deployment.h"
#include "platform/Host.h"
#include "platform/Interfaces.h"
#include "platform/Socket.h"
#include "series/MainThreadPump.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <system_error>
#include <thread>

namespace torvane {

namespace {

// The receiver ends after this many empty waits over its whole life.
constexpr int EmptyWaitsPerSearch = 10;
constexpr int WaitMs = 30;

} // namespace

std::string T924SearchProbe() {
    return t924::Head(t924::CmdSearch);
}

bool ParseT924Reply(const void* data, std::size_t length, TDevInfo& record) {
    const platform::TByteReader r(data, std::min(length, t924::ReplyReadSize));
    if (!t924::IsCommand(r, t924::CmdSearchReply)) {
        return false;
    }
    record.Clear();
    record.nType = 9;
    record.szIPAddr = r.Text(t924::IPAddress);
    record.szMask = r.Text(t924::Netmask);
    record.szGateway = r.Text(t924::Gateway);
    record.szDNS1 = r.Text(t924::Dns1);
    record.szDNS2 = r.Text(t924::Dns2);
    std::uint8_t mac[t924::Mac.Size];
    r.Copy(t924::Mac, mac);
    record.szID = MacToColonText(mac);
    record.szMac = NormalizeMac(record.szID);
    record.wPort = r.U16LE(t924::WebPort);
    record.szSN = r.Text(t924::DeviceId);
    record.szName = r.Text(t924::Name);
    record.szVersion = r.Text(t924::Version);
    record.szLoginUser = r.Text(t924::LoginUser);
    record.szLoginPwd = r.Text(t924::LoginPassword);
    record.btDHCP = r.U8(t924::Dhcp) == 1 ? 1 : 2;
    record.szDdns = r.Text(t924::DdnsServer);
    record.szDdnsHost = r.Text(t924::DdnsHost);
    record.szDdnsUser = r.Text(t924::DdnsUser);
    record.szDdnsPwd = r.Text(t924::DdnsPassword);
    record.btDdnsOn = 1;
    record.nExtra = 808;
    return true;
}

// --- the receiver of one search ---------------------------------------------------------

class TT924Series::TRecvThread {
public:
    TRecvThread(platform::TUdpSocket socket, TT924FoundCallback callback)
        : FSocket(std::move(socket)), FCallback(std::move(callback)) {}
    TRecvThread(const TRecvThread&) = delete;
    TRecvThread& operator=(const TRecvThread&) = delete;
    ~TRecvThread() {
        RequestStop();
        Join();
    }

    void Start() { FThread = std::thread([this] { Run(); }); }

    // Wakes the receiver's wait; it leaves its loop at once. Any thread.
    void RequestStop() {
        FStop = true;
        std::lock_guard<std::mutex> g(FSocketLock);
        if (FSocket.IsOpen()) {
            FSocket.Shutdown();
        }
    }
    [[nodiscard]] bool Ended() const { return FEnded; }
    void Join() {
        if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) {
            FThread.join();
        }
    }

private:
    void Run() {
        std::array<std::uint8_t, t924::ReceiveSize> buffer{};
        int emptyWaits = 0;
        while (emptyWaits < EmptyWaitsPerSearch && !FStop) {
            const platform::TWaitResult wait = FSocket.WaitReadable(WaitMs);
            if (wait == platform::TWaitResult::Failed) {
                break;
            }
            if (wait == platform::TWaitResult::TimedOut) {
                ++emptyWaits; // never reset: replies in between do not extend the search
                continue;
            }
            if (FStop) {
                break;
            }
            buffer.fill(0);
            const platform::TReceivedDatagram got = FSocket.ReceiveFrom(buffer.data(), buffer.size());
            // A datagram longer than the buffer arrives cut: no camera sends one, so it is
            // dropped rather than parsed from its first 1024 bytes.
            if (!got.Ok() || got.Count == 0 || got.Count > buffer.size()) {
                continue;
            }
            TDevInfo record;
            if (!ParseT924Reply(buffer.data(), got.Count, record) || !FCallback || FStop) {
                continue;
            }
            record.szInterface = platform::InterfaceName(got.InterfaceIndex);
            platform::Host().RunOnMainThread([&] {
                try {
                    FCallback(record);
                } catch (...) {
                    // A failing receiver of the record must not end the search thread.
                }
            });
        }
        {
            std::lock_guard<std::mutex> g(FSocketLock);
            (void)FSocket.Close(); // frees the local search port for the next search
        }
        FEnded = true;
    }

    std::mutex FSocketLock;
    platform::TUdpSocket FSocket;
    TT924FoundCallback FCallback;
    std::atomic<bool> FStop{false};
    std::atomic<bool> FEnded{false};
    std::thread FThread;
};

// --- TT924Series ------------------------------------------------------------------------

TT924Series::TT924Series(std::uint16_t localSearchPort) : FLocalSearchPort(localSearchPort) {}

TT924Series::~TT924Series() {
    StopSearches();
}

std::int32_t TT924Series::SearchDevices(std::int32_t port, TT924FoundCallback callback) {
    ReapEndedSearches();
    if (port <= 0 || port > 0xFFFF) {
        return 0;
    }
    platform::TUdpSocket socket;
    if (!socket.Create() || !socket.Bind(platform::IPv4Any, FLocalSearchPort)) {
        return 0; // the previous search's receiver may still hold the port: no probe now
    }
    (void)socket.SetBroadcast(true);
    (void)socket.SetReceiveInterface(true);
    const std::string probe = T924SearchProbe();
    (void)socket.SendToTargets(probe.data(), probe.size(), static_cast<std::uint16_t>(port),
                               SearchTargets());
    auto receiver = std::make_unique<TRecvThread>(std::move(socket), std::move(callback));
    try {
        receiver->Start();
    } catch (const std::system_error&) {
        return 0; // no thread: the socket closes with the receiver object
    }
    std::lock_guard<std::mutex> g(FSearchLock);
    FSearches.push_back(std::move(receiver));
    return 0;
}

void TT924Series::ReapEndedSearches() {
    std::list<std::unique_ptr<TRecvThread>> ended;
    {
        std::lock_guard<std::mutex> g(FSearchLock);
        for (auto it = FSearches.begin(); it != FSearches.end();) {
            if ((*it)->Ended()) {
                ended.push_back(std::move(*it));
                it = FSearches.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Destroying them joins threads that have already left their loop.
}

void TT924Series::StopSearches() {
    std::list<std::unique_ptr<TRecvThread>> running;
    {
        std::lock_guard<std::mutex> g(FSearchLock);
        running.swap(FSearches);
    }
    for (auto& r : running) {
        r->RequestStop();
    }
    WaitPumpingMainThread([&] {
        return std::all_of(running.begin(), running.end(),
                           [](const auto& r) { return r->Ended(); });
    });
    running.clear();
}

int TT924Series::RunningSearches() const {
    std::lock_guard<std::mutex> g(FSearchLock);
    return static_cast<int>(std::count_if(FSearches.begin(), FSearches.end(),
                                          [](const auto& r) { return !r->Ended(); }));
}

void TT924Series::SetDevice(TDevInfo* device) {
    FDevice = device;
}

TDevInfo* TT924Series::GetDevice() const {
    return FDevice;
}

// --- the process-wide client ------------------------------------------------------------

namespace {

std::mutex GClientLock;
std::shared_ptr<IT924Series> GClient;

} // namespace

std::shared_ptr<IT924Series> Series924() {
    std::lock_guard<std::mutex> g(GClientLock);
    if (!GClient) {
        GClient = std::make_shared<TT924Series>();
    }
    return GClient;
}

void ReleaseSeries924() {
    std::shared_ptr<IT924Series> client;
    {
        std::lock_guard<std::mutex> g(GClientLock);
        client = std::move(GClient);
    }
    if (client) {
        client->StopSearches();
    }
}

} // namespace torvane
