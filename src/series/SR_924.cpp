#include "series/SR_924.h"

#include "i18n/Deployment.h"
#include "platform/Context.h"
#include "platform/Diag.h"
#include "platform/HandOver.h"
#include "platform/Host.h"
#include "platform/Interfaces.h"
#include "platform/Socket.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <stop_token>
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
    ReadAddressTexts(r.Sub(t924::Addresses), record);
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

// One search's socket and its thread. The thread reads replies until its tenth empty wait
// and puts each camera in a mailbox whose handler, the search's callback, runs on the main
// thread; it never waits for the main thread. The client owns the receivers: it closes a
// receiver's mailbox before it joins the thread.
class TT924Series::TRecvThread {
public:
    TRecvThread(platform::TUdpSocket socket, TT924FoundCallback callback)
        : FSocket(std::move(socket)) {
        if (callback) {
            FMailbox = std::make_unique<platform::TMailbox<TDevInfo>>(
                platform::Host(),
                [callback = std::move(callback)](TDevInfo& record) {
                    try {
                        callback(record);
                    } catch (...) {
                        platform::DiagCaught(platform::EDiag::Discovery,
                                             "the receiver of a T-series reply");
                    }
                },
                MaxWaitingReplies);
        }
    }
    TRecvThread(const TRecvThread&) = delete;
    TRecvThread& operator=(const TRecvThread&) = delete;
    ~TRecvThread() { Stop(); }

    void Start() {
        FThread = std::jthread([this](const std::stop_token& stop) { Run(stop); });
    }
    // No reply reaches the callback any more; the thread is woken, then joined.
    void Stop() {
        if (FMailbox) {
            FMailbox->Close();
        }
        if (FThread.joinable()) {
            FThread.request_stop();
            {
                std::lock_guard<std::mutex> g(FSocketLock);
                if (FSocket.IsOpen()) {
                    FSocket.Shutdown();
                }
            }
            FThread.join();
        }
    }
    // The thread has left its loop and every reply it found has been handed over.
    [[nodiscard]] bool Done() const {
        return FEnded && (!FMailbox || FMailbox->Waiting() == 0);
    }
    [[nodiscard]] bool Ended() const { return FEnded; }

private:
    void Run(const std::stop_token& stop) {
        std::array<std::uint8_t, t924::ReceiveSize> buffer{};
        int emptyWaits = 0;
        while (emptyWaits < EmptyWaitsPerSearch && !stop.stop_requested()) {
            const platform::TWaitResult wait = FSocket.WaitReadable(WaitMs);
            if (wait == platform::TWaitResult::Failed) {
                platform::Diag(platform::EDiag::Net,
                               "the T-series search stops: waiting for replies failed");
                break;
            }
            if (wait == platform::TWaitResult::TimedOut) {
                ++emptyWaits; // never reset: replies in between do not extend the search
                continue;
            }
            if (stop.stop_requested()) {
                break;
            }
            buffer.fill(0);
            const platform::TReceivedDatagram got = FSocket.ReceiveFrom(buffer.data(), buffer.size());
            if (!got.Ok()) {
                platform::Diag(platform::EDiag::Net,
                               "the T-series search: a read failed: " + got.ErrorText());
                continue;
            }
            if (got.Count == 0) {
                continue; // an empty datagram, or the socket shut down by Stop
            }
            // A datagram longer than the buffer arrives cut: no camera sends one, so it is
            // dropped rather than parsed from its first 1024 bytes.
            if (got.Count > buffer.size()) {
                Dropped(got, "longer than the " + std::to_string(t924::ReceiveSize) +
                                 "-byte buffer");
                continue;
            }
            TDevInfo record;
            if (!ParseT924Reply(buffer.data(), got.Count, record)) {
                Dropped(got, "no T-series search reply (44 48 01 08)");
                continue;
            }
            if (!FMailbox || stop.stop_requested()) {
                continue;
            }
            record.szInterface = platform::InterfaceName(got.InterfaceIndex);
            if (!FMailbox->Put(std::move(record)) && !FMailbox->Closed()) {
                Dropped(got, std::to_string(MaxWaitingReplies) +
                                 " replies wait for the main thread already");
            }
        }
        {
            std::lock_guard<std::mutex> g(FSocketLock);
            (void)FSocket.Close(); // frees the local search port for the next search
        }
        FEnded = true;
    }

    static void Dropped(const platform::TReceivedDatagram& got, const std::string& why) {
        if (platform::DiagOn(platform::EDiag::Discovery)) {
            platform::Diag(platform::EDiag::Discovery,
                           "the T-series search dropped a datagram of " +
                               std::to_string(got.Count) + " bytes from " +
                               platform::IPv4ToText(got.From) + ":" +
                               std::to_string(got.FromPort) + ": " + why);
        }
    }

    static constexpr std::size_t MaxWaitingReplies = 4096;

    std::mutex FSocketLock; // Stop's shutdown against the thread's close
    platform::TUdpSocket FSocket;
    std::unique_ptr<platform::TMailbox<TDevInfo>> FMailbox;
    std::atomic<bool> FEnded{false};
    // Last: joined before the members its thread uses go.
    std::jthread FThread;
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
    } catch (const std::system_error& e) {
        // No thread: the socket closes with the receiver object.
        platform::Diag(platform::EDiag::Discovery,
                       std::string("the T-series search has no receive thread: ") + e.what());
        return 0;
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
            // Kept until its last reply has reached the callback.
            if ((*it)->Done()) {
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
    // Each receiver's mailbox is closed first, so no thread needs the main thread: the
    // joins end at once, wherever this is called.
    running.clear();
}

int TT924Series::RunningSearches() const {
    std::lock_guard<std::mutex> g(FSearchLock);
    return static_cast<int>(std::count_if(FSearches.begin(), FSearches.end(),
                                          [](const auto& r) { return !r->Ended(); }));
}

void TT924Series::SetDevice(TDevInfo* device) {
    const std::lock_guard<std::recursive_mutex> g(FStateLock);
    FDevice = device;
}

TDevInfo* TT924Series::GetDevice() const {
    const std::lock_guard<std::recursive_mutex> g(FStateLock);
    return FDevice;
}

std::optional<TDevInfo> TT924Series::DeviceSnapshot() const {
    const std::lock_guard<std::recursive_mutex> g(FStateLock);
    return FDevice != nullptr ? std::optional<TDevInfo>(*FDevice) : std::nullopt;
}

// --- the context's client ---------------------------------------------------------------

namespace {

// The client of one context (platform/Context.h); it ends, its searches stopped, with the
// context at the latest.
struct TSeries924Part {
    std::mutex Lock;
    std::shared_ptr<IT924Series> Client;

    ~TSeries924Part() {
        if (Client) {
            Client->StopSearches();
        }
    }
};

} // namespace

std::shared_ptr<IT924Series> Series924() {
    TSeries924Part& part = platform::Context().Part<TSeries924Part>();
    std::lock_guard<std::mutex> g(part.Lock);
    if (!part.Client) {
        part.Client = std::make_shared<TT924Series>();
    }
    return part.Client;
}

void ReleaseSeries924() {
    TSeries924Part& part = platform::Context().Part<TSeries924Part>();
    std::shared_ptr<IT924Series> client;
    {
        std::lock_guard<std::mutex> g(part.Lock);
        client = std::move(part.Client);
    }
    if (client) {
        client->StopSearches();
    }
}

} // namespace torvane
