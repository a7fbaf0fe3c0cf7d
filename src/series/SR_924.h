#pragma once
// The T-series device client. The T cameras answer a UDP search of their own on port 8600
// ("DH" datagrams), take firmware uploads through a CGI on port 8600 and offer CGI pages
// for their network, Wi-Fi, DDNS and factory settings. One client exists per process,
// reached through Series924(); the search session starts a LAN search with it on every
// pass and the T-series adapters upload with it.
//
// IT924Series lists the client's operations in their fixed slot order. Slots 0 to 2 of a
// COM-style interface (ask for another interface, add a reference, release one) are what
// std::shared_ptr does here; the slots below keep their numbers.

#include "series/DevInfo.h"
#include "series/T924Datagram.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace torvane {

// One access point of a Wi-Fi scan.
struct TWiFiRecord {
    std::string Ssid;
    std::int32_t Mode = 0;
    std::int32_t Security = 0;
    std::string Dbm0;
    std::string Dbm1;
    std::string Mac;
};

// An entry of a Wi-Fi scan list: its text and the record it owns.
struct TWifiListEntry {
    std::string Text;
    std::unique_ptr<TWiFiRecord> Record;
};

struct TWifiParams {
    std::int32_t Enable = 0;
    std::string Ssid;
    std::int32_t Mode = 0;
    std::int32_t Encrypt = 0;
    std::int32_t AuthType = 0;
    std::int32_t DefKey = 0;
    std::int32_t KeyFormat = 0;
    // The four WEP keys and their lengths in bits: wifi_key1 .. wifi_key4 on the camera.
    std::array<std::string, 4> Keys;
    std::array<std::int32_t, 4> KeyBits{};
    std::string WpaPsk;
};

struct TFactoryParams {
    std::string Index;
    std::string Server;
    std::string Port;
    std::string User;
    std::string Passwd;
    std::int32_t Status = 0;
};

// Called on the main thread once per found camera; the record is valid during the call only.
using TT924FoundCallback = std::function<void(const TDevInfo&)>;

// The "DH" datagrams' layout is in series/T924Datagram.h.
constexpr std::uint16_t T924SearchPort = 8600;      // where the cameras listen
constexpr std::uint16_t T924LocalSearchPort = 3565; // where the search listens for replies

// The four bytes of the search probe.
[[nodiscard]] std::string T924SearchProbe();
// Parses a search reply (44 48 01 08 ...) into a cleared record. False, record untouched,
// for any other datagram. Bytes past the received length read as zero.
[[nodiscard]] bool ParseT924Reply(const void* data, std::size_t length, TDevInfo& record);

class IT924Series {
public:
    virtual ~IT924Series() = default;

    // 3: broadcasts the search probe to the search's destinations (SearchTargets()) at
    // port from local port 3565 and starts a receiver that hands each reply, with the
    // interface it arrived on, to callback on the main thread. Always 0;
    // when the local port is taken (a previous search still listens) nothing is sent.
    virtual std::int32_t SearchDevices(std::int32_t port, TT924FoundCallback callback) = 0;
    // 4
    [[nodiscard]] virtual bool SetNetworkByBroadcast(const std::string& ip, std::uint16_t port,
                                                     const std::string& user,
                                                     const std::string& password,
                                                     const TDevInfo& newSettings,
                                                     const TDevInfo& oldSettings) = 0;
    // 5, 6: the current device (belongs to the caller; none after construction).
    virtual void SetDevice(TDevInfo* device) = 0;
    [[nodiscard]] virtual TDevInfo* GetDevice() const = 0;
    // 7
    [[nodiscard]] virtual bool CheckLogin(const std::string& baseUrl, const std::string& user,
                                          const std::string& password) = 0;
    // 8
    [[nodiscard]] virtual bool SetFactoryParams(const std::string& user,
                                                const std::string& password,
                                                const TDevInfo& oldSettings,
                                                const TDevInfo& newSettings,
                                                const std::string& wifiMac) = 0;
    // 9
    [[nodiscard]] virtual bool RestoreDefaults(const std::string& user,
                                               const std::string& password) = 0;
    // 10: the number of access points, or -1.
    [[nodiscard]] virtual std::int32_t ScanWifi(const std::string& user,
                                                const std::string& password,
                                                std::vector<TWifiListEntry>& list) = 0;
    // 11, 12
    [[nodiscard]] virtual TWifiParams* GetWifiParams(const std::string& user,
                                                     const std::string& password) = 0;
    [[nodiscard]] virtual std::int32_t SetWifiParams(const std::string& user,
                                                     const std::string& password) = 0;
    // 13, 14
    [[nodiscard]] virtual TFactoryParams* GetFactoryParams(const std::string& user,
                                                           const std::string& password,
                                                           bool useKeptRecord) = 0;
    [[nodiscard]] virtual std::uint8_t SetDdns(const std::string& user,
                                               const std::string& password) = 0;
    // 15, 16
    [[nodiscard]] virtual bool UploadSystemFirmware(const std::string& baseUrl,
                                                    const std::string& user,
                                                    const std::string& password,
                                                    const std::string& filePath) = 0;
    [[nodiscard]] virtual bool UploadUIFirmware(const std::string& baseUrl,
                                                const std::string& user,
                                                const std::string& password,
                                                const std::string& filePath) = 0;
    // 17
    [[nodiscard]] virtual bool RefreshDevice(std::int32_t unused1, std::int32_t unused2,
                                             const std::string& user,
                                             const std::string& password,
                                             TDevInfo*& device) = 0;

    // Not a slot: stops every search receiver (replies not yet handed over are dropped)
    // and joins its thread. Teardown calls it so that nothing is left running.
    virtual void StopSearches() = 0;
};

class TT924Series : public IT924Series {
public:
    // localSearchPort: the local port a search binds (3565; tests pass a free one).
    explicit TT924Series(std::uint16_t localSearchPort = T924LocalSearchPort);
    ~TT924Series() override;
    TT924Series(const TT924Series&) = delete;
    TT924Series& operator=(const TT924Series&) = delete;

    std::int32_t SearchDevices(std::int32_t port, TT924FoundCallback callback) override;
    bool SetNetworkByBroadcast(const std::string& ip, std::uint16_t port,
                               const std::string& user, const std::string& password,
                               const TDevInfo& newSettings, const TDevInfo& oldSettings) override;
    void SetDevice(TDevInfo* device) override;
    TDevInfo* GetDevice() const override;
    bool CheckLogin(const std::string& baseUrl, const std::string& user,
                    const std::string& password) override;
    bool SetFactoryParams(const std::string& user, const std::string& password,
                          const TDevInfo& oldSettings, const TDevInfo& newSettings,
                          const std::string& wifiMac) override;
    bool RestoreDefaults(const std::string& user, const std::string& password) override;
    std::int32_t ScanWifi(const std::string& user, const std::string& password,
                          std::vector<TWifiListEntry>& list) override;
    TWifiParams* GetWifiParams(const std::string& user, const std::string& password) override;
    std::int32_t SetWifiParams(const std::string& user, const std::string& password) override;
    TFactoryParams* GetFactoryParams(const std::string& user, const std::string& password,
                                     bool useKeptRecord) override;
    std::uint8_t SetDdns(const std::string& user, const std::string& password) override;
    bool UploadSystemFirmware(const std::string& baseUrl, const std::string& user,
                              const std::string& password, const std::string& filePath) override;
    bool UploadUIFirmware(const std::string& baseUrl, const std::string& user,
                          const std::string& password, const std::string& filePath) override;
    bool RefreshDevice(std::int32_t unused1, std::int32_t unused2, const std::string& user,
                       const std::string& password, TDevInfo*& device) override;
    void StopSearches() override;

    // Receivers started and not yet ended (for tests and teardown checks).
    [[nodiscard]] int RunningSearches() const;

private:
    class TRecvThread;
    void ReapEndedSearches();
    // A copy of the current device, taken under the lock (the uploads' view of it).
    [[nodiscard]] std::optional<TDevInfo> DeviceSnapshot() const;

    std::uint16_t FLocalSearchPort;
    mutable std::mutex FSearchLock;
    std::list<std::unique_ptr<TRecvThread>> FSearches;
    // Guards the current device and the kept records. Uploads take a copy of the device
    // under it and run unlocked, so several runs upload through one client at once; the
    // settings operations, which work on the kept records, hold it for their whole call.
    mutable std::recursive_mutex FStateLock;
    TDevInfo* FDevice = nullptr;
    // Records kept by GetWifiParams and GetFactoryParams for later calls; they belong to
    // the client.
    std::unique_ptr<TWifiParams> FWifiParams;
    std::unique_ptr<TFactoryParams> FFactoryParams;
};

// The client of the current context (platform/Context.h), created on first use: the
// search session's T-series searches and the T adapters' uploads use it. Safe for
// concurrent use: searches may run while several workers upload. ReleaseSeries924 stops
// its searches and drops the context's reference (the search session's teardown calls
// it); a later Series924() creates a new client.
[[nodiscard]] std::shared_ptr<IT924Series> Series924();
void ReleaseSeries924();

} // namespace torvane
