#pragma once
// The LAN search session: the one engine behind both the camera selection window and
// `torvane-cli discover`. It owns the five UDP listeners, sends the probes of one search
// pass, parses every datagram the listeners deliver, starts the T-series search on each
// pass, asks the vendor library on Find, and keeps the list of found cameras: merged by
// identity, aged out when they stop answering, sorted by a column, with a selected item.
//
// Everything here runs on the main thread: the listeners, the T-series search and the
// vendor library all hand their results to it (platform/HandOver.h) without waiting. The
// owner calls Tick() once a second (the window's timer, the command line's loop) and lets
// the host run posted work in between (a test host needs UseQueue, so that it runs on the
// test's thread). Teardown (Stop) closes each way to the main thread, then joins the
// thread behind it. No Qt, no widgets: a window shows the list through Count(), Item(),
// SelectedIndex() and the change handler.

#include "discovery/SR_Hisi.h"
#include "discovery/UdpListener.h"
#include "platform/HandOver.h"
#include "series/DevInfo.h"
#include "series/SR_924.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace torvane {

// Base ports of the listeners (the first free port at or above each is taken, in the
// order below) and the ports the probes go to. Tests pass ports of their own.
struct TDiscoveryPorts {
    std::uint16_t MOIListenerBase = 10000;   // listener 2, activated first
    std::uint16_t SQ610ListenerBase = 10001; // listener 1
    std::uint16_t UicamListenerBase = 10002; // listener 3
    std::uint16_t CTPListenerBase = 7999;    // listener 4
    std::uint16_t Listener1010Base = 6800;   // listener 5
    std::uint16_t SQ610To = 4000;
    std::uint16_t MOITo = 10000;
    std::uint16_t UicamTo = 10139;
    std::uint16_t CTPTo = 7999;
    std::uint16_t To1010 = 6801; // the 1010 probe and answers
    std::uint16_t ImagiaTo = 10000;
    std::uint16_t T924To = 8600;
};

// What changed since the last notification (bits).
enum TDiscoveryChange : unsigned {
    ChangeItems = 1u,     // entries added, removed, changed or reordered
    ChangeSelection = 2u, // another item (or none) is selected
    ChangeCount = 4u,     // the count (and the empty-list state) was refreshed
};

// The camera the user chose (the OK button).
struct TCameraChoice {
    bool Chosen = false; // false: nothing was selected (the window ends as Cancel)
    std::string szIP;
    int nPort = 0;
    int nTYpe = -1; // series index of the main window, -1 when unknown
};

class TDiscoverySession {
public:
    // The listeners by their names in the window (IdUDPServer1 to IdUDPServer5).
    enum TListenerId { Listener1 = 0, Listener2, Listener3, Listener4, Listener5 };
    static constexpr int ListenerCount = 5;
    // List columns.
    enum TColumn { ColumnType = 0, ColumnName = 1, ColumnIP = 2, ColumnPort = 3 };
    static constexpr std::int32_t EntryTTL = 10;
    static constexpr std::int32_t EntryTTL1010 = 30;

    // tSeries: the T-series client whose search every pass starts (nullptr: none).
    // vendorLibrary: the vendor library to load at Start.
    explicit TDiscoverySession(TDiscoveryPorts ports = {},
                               std::shared_ptr<IT924Series> tSeries = Series924(),
                               std::string vendorLibrary = TFind_Hisi::DefaultLibraryPath());
    ~TDiscoverySession();
    TDiscoverySession(const TDiscoverySession&) = delete;
    TDiscoverySession& operator=(const TDiscoverySession&) = delete;

    // Activates the listeners (each on the first free port from its base; one that cannot
    // be activated stays inactive, silently) and loads the vendor library.
    void Start();
    // Teardown: listeners deactivated (their threads joined), the vendor search stopped and
    // its library unloaded, the list cleared, the T-series receivers stopped.
    void Stop();

    // --- search passes ---
    // One pass: IMAGIA (when tick is divisible by 3), the T-series search, SQ610, MO_I,
    // uicam, CTP, 1010, and with withVendor the vendor library. Errors are swallowed.
    void SendProbes(int tick, bool withVendor);
    // The one-second timer: a pass, the ageing of the list, the count; then tick + 1.
    void Tick();
    // The Find button: clear the list, then a pass that asks the vendor library too.
    void Find();
    // Showing the window: a pass without clearing the list.
    void Show();

    // --- datagrams ---
    // A datagram a listener received (the window's one handler for all five), on the
    // PC's interface interfaceName, from the sender's address and port (for the diagnostic
    // log); the camera it describes is listed with that interface.
    void HandleDatagram(std::string_view datagram, const std::string& interfaceName = {},
                        std::uint32_t from = 0, std::uint16_t fromPort = 0);
    // Recognises the family and parses; true when record describes a camera to merge.
    // 1010 hellos and info messages are answered through listener 5.
    [[nodiscard]] bool ParseDatagram(std::string_view datagram, TDevInfo& record);
    // Merges one camera into the list; true only when a new entry was added.
    bool AddOrUpdateDevice(const TDevInfo& record);
    // A camera reported by the vendor library (already on the main thread).
    void HandleVendorFound(const TDevInfo& record);

    // --- the list ---
    [[nodiscard]] int Count() const { return static_cast<int>(FItems.size()); }
    [[nodiscard]] const TDevInfo& Item(int index) const { return *FItems.at(index); }
    [[nodiscard]] std::vector<TDevInfo> Devices() const;
    [[nodiscard]] const TDevInfo* FindDevice(const std::string& id) const;
    void ClearDevices();
    // Refreshes the count; selects the first item when none is selected.
    void UpdateDevCount();
    // The count label's text: IDS_DEVCOUNT followed by the number of cameras.
    [[nodiscard]] std::string DevCountText() const;
    [[nodiscard]] bool ShowsEmptyPanel() const { return FItems.empty(); }

    [[nodiscard]] int SelectedIndex() const; // -1 when none
    void Select(int index);                  // -1 selects none
    [[nodiscard]] TCameraChoice Choose() const;
    // The series index of the camera listed at this address and port (the address compared
    // as an IPv4 address, else as text), so that a camera whose address was typed rather
    // than chosen is still spoken to in its own series. -1 when no listed camera there has
    // a series the main window knows, or when the cameras listed there disagree.
    [[nodiscard]] int ListedSeriesIndex(const std::string& address, int port) const;

    // Clicking a column header: the current sort column toggles the direction, another
    // column becomes the sort column, ascending.
    void ColumnClick(int column);
    [[nodiscard]] int SortColumn() const { return FSortColumn; }
    [[nodiscard]] bool SortAsc() const { return FSortAsc; }
    // The list's comparison of two entries under the current column and direction.
    [[nodiscard]] int CompareItems(const TDevInfo& a, const TDevInfo& b) const;

    // Called on the main thread after each operation that changed something (bits of
    // TDiscoveryChange).
    void SetChangeHandler(std::function<void(unsigned changes)> handler);

    [[nodiscard]] int TickCount() const { return FTick; }
    [[nodiscard]] bool ListenerActive(TListenerId id) const { return FListeners[id]->Active(); }
    [[nodiscard]] std::uint16_t ListenerPort(TListenerId id) const {
        return FListeners[id]->Port();
    }
    [[nodiscard]] TUdpListener& Listener(TListenerId id) { return *FListeners[id]; }
    [[nodiscard]] const TDiscoveryPorts& Ports() const { return FPorts; }

private:
    class TUpdateScope;
    using TItems = std::vector<std::unique_ptr<TDevInfo>>;

    [[nodiscard]] std::size_t IndexOf(const TDevInfo* entry) const;
    void Insert(std::unique_ptr<TDevInfo> entry);
    void Resort(std::size_t index);
    void SortAll();
    void AgeEntries();
    void SetSelected(TDevInfo* entry);
    void Changed(unsigned changes) { FPendingChanges |= changes; }

    TDiscoveryPorts FPorts;
    std::shared_ptr<IT924Series> FTSeries;
    std::string FVendorLibrary;
    std::array<std::unique_ptr<TUdpListener>, ListenerCount> FListeners;
    std::unique_ptr<TFind_Hisi> FFindHisi;
    // The vendor library's way to the main thread; closed by Stop before the library goes.
    std::unique_ptr<platform::THandOver> FVendorHandOver;
    // Alive while the session is; the T-series client, which outlives the session, checks
    // it on the main thread before a reply touches the session.
    std::shared_ptr<int> FAlive;
    // Why ParseDatagram last refused a datagram, for the diagnostic log.
    std::string FLastReject;

    TItems FItems; // in list order
    std::unordered_map<std::string, TDevInfo*> FById;
    TDevInfo* FSelected = nullptr;
    int FSortColumn = ColumnIP;
    bool FSortAsc = true;
    int FTick = 0;

    std::function<void(unsigned)> FOnChange;
    unsigned FPendingChanges = 0;
    int FUpdateDepth = 0;
};

} // namespace torvane
