#include "discovery/DiscoverySession.h"

#include "discovery/SR.h"
#include "discovery/Tools_Net.h"
#include "i18n/StrRes.h"
#include "platform/Diag.h"
#include "platform/Host.h"
#include "platform/Socket.h"
#include "platform/Text.h"
#include "series/CtpSearchReply.h"

#include <algorithm>
#include <utility>

namespace torvane {

namespace {

bool SameShownData(const TDevInfo& a, const TDevInfo& b) {
    return a.szIPAddr == b.szIPAddr && a.szName == b.szName && a.wPort == b.wPort &&
           a.nType == b.nType && a.szMask == b.szMask && a.szGateway == b.szGateway &&
           a.szDNS1 == b.szDNS1 && a.szDNS2 == b.szDNS2 && a.wPort2 == b.wPort2 &&
           a.btDHCP == b.btDHCP;
}

// One failing step of a search pass does not stop the others.
template <typename TFn>
void Guarded(const char* step, TFn&& fn) {
    try {
        fn();
    } catch (...) {
        platform::DiagCaught(platform::EDiag::Discovery, step);
    }
}

// "a.b.c.d:port" of a datagram's sender, or "an unknown sender".
std::string SenderText(std::uint32_t from, std::uint16_t fromPort) {
    return from == 0 && fromPort == 0
               ? std::string("an unknown sender")
               : platform::IPv4ToText(from) + ":" + std::to_string(fromPort);
}

} // namespace

// Collects the changes of one public operation and reports them once at its end.
class TDiscoverySession::TUpdateScope {
public:
    explicit TUpdateScope(TDiscoverySession& session) : FSession(session) {
        ++FSession.FUpdateDepth;
    }
    TUpdateScope(const TUpdateScope&) = delete;
    TUpdateScope& operator=(const TUpdateScope&) = delete;
    ~TUpdateScope() {
        if (--FSession.FUpdateDepth == 0 && FSession.FPendingChanges != 0) {
            const unsigned changes = std::exchange(FSession.FPendingChanges, 0u);
            if (FSession.FOnChange) {
                try {
                    FSession.FOnChange(changes);
                } catch (...) {
                    // A failing view refresh must not break the search.
                    platform::DiagCaught(platform::EDiag::Discovery, "the list's view");
                }
            }
        }
    }

private:
    TDiscoverySession& FSession;
};

TDiscoverySession::TDiscoverySession(TDiscoveryPorts ports, std::shared_ptr<IT924Series> tSeries,
                                     std::string vendorLibrary)
    : FPorts(ports), FTSeries(std::move(tSeries)), FVendorLibrary(std::move(vendorLibrary)),
      FAlive(std::make_shared<int>(0)) {
    static constexpr const char* Names[ListenerCount] = {"IdUDPServer1", "IdUDPServer2",
                                                         "IdUDPServer3", "IdUDPServer4",
                                                         "IdUDPServer5"};
    for (int i = 0; i < ListenerCount; ++i) {
        FListeners[i] = std::make_unique<TUdpListener>(Names[i]);
        FListeners[i]->SetHandler([this](TUdpListener&, const std::uint8_t* data,
                                         std::size_t length, std::uint32_t from,
                                         std::uint16_t fromPort,
                                         const std::string& interfaceName) {
            HandleDatagram(std::string_view(reinterpret_cast<const char*>(data), length),
                           interfaceName, from, fromPort);
        });
    }
}

TDiscoverySession::~TDiscoverySession() {
    FOnChange = nullptr; // whoever watched the list may be gone already
    Stop();
}

void TDiscoverySession::Start() {
    // The window's order: the MO_I listener first, so that it gets port 10000.
    (void)TTools_Net::BindFreePort(*FListeners[Listener2], FPorts.MOIListenerBase);
    (void)TTools_Net::BindFreePort(*FListeners[Listener1], FPorts.SQ610ListenerBase);
    (void)TTools_Net::BindFreePort(*FListeners[Listener3], FPorts.UicamListenerBase);
    (void)TTools_Net::BindFreePort(*FListeners[Listener4], FPorts.CTPListenerBase);
    (void)TTools_Net::BindFreePort(*FListeners[Listener5], FPorts.Listener1010Base);
    if (!FFindHisi) {
        FVendorHandOver = std::make_unique<platform::THandOver>(platform::Host());
        FFindHisi = std::make_unique<TFind_Hisi>(FVendorLibrary);
        FFindHisi->SetCallback([this](const TDevInfo* record) {
            if (record == nullptr) {
                platform::Diag(platform::EDiag::Discovery,
                               "the vendor library reported a camera without a record");
                return;
            }
            // On the library's thread: the record is valid during this call only, so a
            // copy goes to the main thread. Stop closes the hand-over before it unloads
            // the library, so the copy never reaches a session that has stopped.
            (void)FVendorHandOver->Post([this, copy = *record] { HandleVendorFound(copy); });
        });
    }
}

void TDiscoverySession::Stop() {
    for (auto& listener : FListeners) {
        Guarded("stopping a listener", [&] { listener->Deactivate(); });
    }
    if (FVendorHandOver) {
        FVendorHandOver->Close();
    }
    FFindHisi.reset();
    FVendorHandOver.reset();
    ClearDevices();
    if (FTSeries) {
        FTSeries->StopSearches();
    }
}

// --- search passes ----------------------------------------------------------------------

void TDiscoverySession::SendProbes(int tick, bool withVendor) {
    TUpdateScope scope(*this);
    if (tick % 3 == 0) {
        Guarded("the IMAGIA probe", [&] {
            (void)FListeners[Listener1]->BroadcastSendText(ImagiaProbe(), FPorts.ImagiaTo);
        });
    }
    if (FTSeries) {
        Guarded("starting the T-series search", [&] {
            std::weak_ptr<int> alive = FAlive;
            (void)FTSeries->SearchDevices(FPorts.T924To, [this, alive](const TDevInfo& record) {
                if (alive.lock()) {
                    TUpdateScope inner(*this);
                    (void)AddOrUpdateDevice(record);
                }
            });
        });
    }
    Guarded("the SQ610 probe", [&] { SendSQ610Probe(*FListeners[Listener1], FPorts.SQ610To); });
    Guarded("the MO_I probe", [&] { SendMOIProbe(*FListeners[Listener2], FPorts.MOITo); });
    Guarded("the uicam probe", [&] { SendUicamProbe(*FListeners[Listener3], FPorts.UicamTo); });
    Guarded("the CTP search", [&] { SendCTPSearch(*FListeners[Listener4], FPorts.CTPTo); });
    Guarded("the 1010 probe", [&] { Send1010Probe(*FListeners[Listener5], FPorts.To1010); });
    if (withVendor && FFindHisi) {
        Guarded("the vendor library's search", [&] { (void)FFindHisi->Search(); });
    }
}

void TDiscoverySession::Tick() {
    TUpdateScope scope(*this);
    SendProbes(FTick, false);
    AgeEntries();
    UpdateDevCount();
    ++FTick;
}

void TDiscoverySession::Find() {
    TUpdateScope scope(*this);
    platform::Host().SetBusyCursor(true);
    ClearDevices();
    SendProbes(0, true);
    platform::Host().SetBusyCursor(false);
}

void TDiscoverySession::Show() {
    SendProbes(0, false);
}

// --- datagrams --------------------------------------------------------------------------

void TDiscoverySession::HandleDatagram(std::string_view datagram,
                                       const std::string& interfaceName, std::uint32_t from,
                                       std::uint16_t fromPort) {
    TUpdateScope scope(*this);
    TDevInfo record;
    if (!ParseDatagram(datagram, record)) {
        if (!FLastReject.empty() && platform::DiagOn(platform::EDiag::Discovery)) {
            platform::Diag(platform::EDiag::Discovery,
                           "a datagram of " + std::to_string(datagram.size()) + " bytes from " +
                               SenderText(from, fromPort) +
                               (interfaceName.empty() ? std::string() : " on " + interfaceName) +
                               " lists no camera: " + FLastReject);
        }
        return;
    }
    record.szInterface = interfaceName;
    const bool added = AddOrUpdateDevice(record);
    if (added && FSelected == nullptr && !FItems.empty()) {
        SetSelected(FItems.front().get());
    }
    UpdateDevCount();
}

bool TDiscoverySession::ParseDatagram(std::string_view datagram, TDevInfo& record) {
    FLastReject.clear();
    if (datagram.substr(0, 4) == "MO_I") {
        return ParseMOIReply(datagram, record, &FLastReject);
    }
    if (ctp::IsSearchReply(datagram)) {
        if (ParseCTPReply(datagram, record)) {
            return true;
        }
        FLastReject = "not a CTP search reply this search reads";
        return false;
    }
    if (datagram.size() >= 3 && datagram[0] == '\x10' && datagram[1] == '\x10') {
        TUdpListener& via = *FListeners[Listener5];
        if (Answer1010Hello(datagram, via, FPorts.To1010)) {
            return false; // answered: nothing to list, nothing dropped
        }
        if (Parse1010Info(datagram, record, via, FPorts.To1010)) {
            return true;
        }
        T1010Ddns ddns;
        if (Parse1010Ddns(datagram, ddns)) {
            if (const TDevInfo* listed = FindDevice(ddns.Key)) {
                record = *listed;
                record.szDdns = ddns.Server;
                record.szDdnsUser = ddns.User;
                record.szDdnsPwd = ddns.Password;
            } else if (platform::DiagOn(platform::EDiag::Discovery)) {
                platform::Diag(platform::EDiag::Discovery,
                               "a 1010 DDNS message for a camera not in the list (" +
                                   std::to_string(ddns.Key.size()) +
                                   "-character identity) merges nothing");
            }
            return true; // not listed: the record stays at nType -1 and merges nothing
        }
        FLastReject = Why1010NotRead(datagram);
        return false;
    }
    if (datagram.substr(0, 7) == "SEARCH ") {
        FLastReject = "a CTP search request (this PC's own or another's)";
    } else if (datagram == ImagiaProbe()) {
        FLastReject = "an IMAGIA probe (this PC's own or another's)";
    } else {
        FLastReject = "no family of the search begins that way";
    }
    return false;
}

bool TDiscoverySession::AddOrUpdateDevice(const TDevInfo& record) {
    if (record.nType == -1) {
        return false;
    }
    TUpdateScope scope(*this);
    const auto found = FById.find(record.szID);
    if (found != FById.end()) {
        TDevInfo& entry = *found->second;
        const bool same = SameShownData(entry, record);
        // The entry always keeps the latest data (a DDNS message, for one, only brings
        // fields that are not compared); only a change of what the list compares moves it.
        entry = record;
        entry.nTTL = EntryTTL;
        if (same) {
            return false;
        }
        const std::size_t oldPos = IndexOf(&entry);
        Resort(oldPos);
        SetSelected(FItems[oldPos].get());
        Changed(ChangeItems);
        return false;
    }
    auto entry = std::make_unique<TDevInfo>(record);
    entry->nTTL = record.nType == DevType1010 ? EntryTTL1010 : EntryTTL;
    FById.emplace(entry->szID, entry.get());
    Insert(std::move(entry));
    Changed(ChangeItems);
    UpdateDevCount();
    return true;
}

void TDiscoverySession::HandleVendorFound(const TDevInfo& record) {
    TUpdateScope scope(*this);
    const bool added = AddOrUpdateDevice(record);
    if (added && FSelected == nullptr && !FItems.empty()) {
        SetSelected(FItems.front().get());
    }
    UpdateDevCount();
}

// --- the list ---------------------------------------------------------------------------

std::vector<TDevInfo> TDiscoverySession::Devices() const {
    std::vector<TDevInfo> out;
    out.reserve(FItems.size());
    for (const auto& item : FItems) {
        out.push_back(*item);
    }
    return out;
}

const TDevInfo* TDiscoverySession::FindDevice(const std::string& id) const {
    const auto found = FById.find(id);
    return found != FById.end() ? found->second : nullptr;
}

void TDiscoverySession::ClearDevices() {
    TUpdateScope scope(*this);
    if (!FItems.empty()) {
        Changed(ChangeItems);
    }
    SetSelected(nullptr);
    FById.clear();
    FItems.clear();
    UpdateDevCount();
}

void TDiscoverySession::UpdateDevCount() {
    TUpdateScope scope(*this);
    Changed(ChangeCount);
    if (FSelected == nullptr && !FItems.empty()) {
        SetSelected(FItems.front().get());
    }
}

std::string TDiscoverySession::DevCountText() const {
    return GetStrRes("IDS_DEVCOUNT") + std::to_string(FItems.size());
}

int TDiscoverySession::SelectedIndex() const {
    return FSelected == nullptr ? -1 : static_cast<int>(IndexOf(FSelected));
}

void TDiscoverySession::Select(int index) {
    TUpdateScope scope(*this);
    SetSelected(index >= 0 && index < Count() ? FItems[index].get() : nullptr);
}

TCameraChoice TDiscoverySession::Choose() const {
    TCameraChoice choice;
    if (FSelected != nullptr) {
        choice.Chosen = true;
        choice.szIP = FSelected->szIPAddr;
        choice.nPort = FSelected->wPort;
        choice.nTYpe = SeriesIndexOf(FSelected->nType);
    }
    return choice;
}

int TDiscoverySession::ListedSeriesIndex(const std::string& address, int port) const {
    const std::string typed = platform::Trim(address);
    std::uint32_t typedAddress = 0;
    const bool typedIsAddress = platform::ParseIPv4(typed, typedAddress);
    const auto sameAddress = [&](const std::string& listed) {
        std::uint32_t listedAddress = 0;
        if (typedIsAddress && platform::ParseIPv4(listed, listedAddress)) {
            return listedAddress == typedAddress;
        }
        return !typed.empty() && listed == typed;
    };
    int found = -1;
    for (const auto& entry : FItems) {
        const int series = SeriesIndexOf(entry->nType);
        if (series < 0 || entry->wPort != port || !sameAddress(entry->szIPAddr)) {
            continue;
        }
        if (found >= 0 && found != series) {
            return -1; // two series answer there: only a choice in the list can tell
        }
        found = series;
    }
    return found;
}

void TDiscoverySession::ColumnClick(int column) {
    TUpdateScope scope(*this);
    if (column == FSortColumn) {
        FSortAsc = !FSortAsc;
    } else {
        FSortColumn = column;
        FSortAsc = true;
    }
    SortAll();
    Changed(ChangeItems);
}

int TDiscoverySession::CompareItems(const TDevInfo& a, const TDevInfo& b) const {
    int result = 0;
    switch (FSortColumn) {
    case ColumnType:
        result = platform::CompareTextAscii(DevTypeToSeries(a.nType), DevTypeToSeries(b.nType));
        break;
    case ColumnName:
        result = platform::CompareTextAscii(a.szName, b.szName);
        break;
    case ColumnIP:
        result = TTools_Net::CompareDotted(a.szIPAddr, b.szIPAddr);
        break;
    case ColumnPort:
        result = a.wPort < b.wPort ? -1 : (a.wPort > b.wPort ? 1 : 0);
        break;
    default:
        break;
    }
    return FSortAsc ? result : -result;
}

void TDiscoverySession::SetChangeHandler(std::function<void(unsigned)> handler) {
    FOnChange = std::move(handler);
}

std::size_t TDiscoverySession::IndexOf(const TDevInfo* entry) const {
    for (std::size_t i = 0; i < FItems.size(); ++i) {
        if (FItems[i].get() == entry) {
            return i;
        }
    }
    return FItems.size();
}

// The list is kept sorted, so an addition goes where a stable re-sort would put it: after
// every entry that compares equal.
void TDiscoverySession::Insert(std::unique_ptr<TDevInfo> entry) {
    const auto at = std::upper_bound(FItems.begin(), FItems.end(), entry,
                                     [this](const auto& x, const auto& y) {
                                         return CompareItems(*x, *y) < 0;
                                     });
    FItems.insert(at, std::move(entry));
}

// Moves the entry at index to where a stable re-sort puts it: among the entries that
// compare equal to it, it keeps its place relative to them.
void TDiscoverySession::Resort(std::size_t index) {
    std::unique_ptr<TDevInfo> entry = std::move(FItems[index]);
    FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(index));
    const auto less = [this](const auto& x, const auto& y) { return CompareItems(*x, *y) < 0; };
    const auto lo = std::lower_bound(FItems.begin(), FItems.end(), entry, less);
    const auto hi = std::upper_bound(lo, FItems.end(), entry, less);
    const std::size_t loIndex = static_cast<std::size_t>(lo - FItems.begin());
    const std::size_t hiIndex = static_cast<std::size_t>(hi - FItems.begin());
    const std::size_t at = std::clamp(index, loIndex, hiIndex);
    FItems.insert(FItems.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
}

void TDiscoverySession::SortAll() {
    // A merge sort: it stays within the list even where the dotted compare of texts with
    // different numbers of parts is not a consistent order.
    std::stable_sort(FItems.begin(), FItems.end(), [this](const auto& x, const auto& y) {
        return CompareItems(*x, *y) < 0;
    });
}

void TDiscoverySession::AgeEntries() {
    bool removed = false;
    for (auto& item : FItems) {
        if (item->nType != DevTypeVendor) {
            --item->nTTL; // vendor library entries never age
        }
    }
    const auto expired = [](const std::unique_ptr<TDevInfo>& item) {
        return item->nType != DevTypeVendor && item->nTTL <= 0;
    };
    for (const auto& item : FItems) {
        if (expired(item)) {
            if (item.get() == FSelected) {
                SetSelected(nullptr);
            }
            FById.erase(item->szID);
            removed = true;
        }
    }
    if (removed) {
        FItems.erase(std::remove_if(FItems.begin(), FItems.end(), expired), FItems.end());
        Changed(ChangeItems);
    }
}

void TDiscoverySession::SetSelected(TDevInfo* entry) {
    if (entry != FSelected) {
        FSelected = entry;
        Changed(ChangeSelection);
    }
}

} // namespace torvane
