#include "discovery/SR_Hisi.h"

#include "discovery/DvsNetApi.h"
#include "platform/Diag.h"
#include "platform/Folders.h"

namespace torvane {

namespace {

std::string TextOf(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

} // namespace

std::string TFind_Hisi::DefaultLibraryPath() {
    return platform::FolderOf(platform::ModulePath()) + "909/libDVSNETClient.so";
}

TFind_Hisi::TFind_Hisi(const std::string& libraryPath) {
    if (platform::FileExists(libraryPath)) {
        FLib = std::make_unique<platform::TDynamicLibrary>(libraryPath);
    }
}

TFind_Hisi::~TFind_Hisi() {
    if (!Loaded()) {
        return;
    }
    // From here on the callback forwards nothing; one that is forwarding a camera (it
    // never waits for the main thread) is let finish first.
    {
        std::unique_lock<std::mutex> lk(FCallbackLock);
        FStopping = true;
        FCallbackDone.wait(lk, [this] { return FInCallback == 0; });
    }
    if (auto stop = FLib->Function<TDvsNetStopSearch>(DVSNET_STOP_SEARCH_NAME)) {
        (void)stop();
    }
    FLib->Unload();
}

void TFind_Hisi::SetCallback(TFoundCallback callback) {
    FOnFound = std::move(callback);
}

bool TFind_Hisi::Search() {
    auto search = Loaded() ? FLib->Function<TDvsNetSearchServers>(DVSNET_SEARCH_SERVERS_NAME)
                           : nullptr;
    if (search == nullptr) {
        return false;
    }
    return search(3000, 1, &TFind_Hisi::SearchCallback, this, 0) == 0;
}

void TFind_Hisi::SearchCallback(int, const char* name, int, const char* ipAddress,
                                const unsigned char* mac6, int port, int port2,
                                const char* netmask, const char* gateway, const char* auxText,
                                const char* dns, int aux16, int aux32, int dhcp,
                                void* context) {
    auto* self = static_cast<TFind_Hisi*>(context);
    if (self == nullptr) {
        return;
    }
    TDevInfo record;
    record.nType = 4;
    if (mac6 != nullptr) {
        record.szID = MacToStr(mac6);
    }
    record.szName = TextOf(name);
    record.szIPAddr = TextOf(ipAddress);
    record.szMask = TextOf(netmask);
    record.szGateway = TextOf(gateway);
    record.szAux = TextOf(auxText);
    record.szDNS1 = TextOf(dns);
    record.wPort = static_cast<std::uint16_t>(port & 0xFFFF);
    record.wPort2 = static_cast<std::uint16_t>(port2 & 0xFFFF);
    record.wAux = static_cast<std::uint16_t>(aux16 & 0xFFFF);
    record.nAux = aux32;
    record.btDHCP = dhcp == 1 ? 1 : 2;
    self->Report(record);
}

void TFind_Hisi::Report(const TDevInfo& record) {
    {
        std::lock_guard<std::mutex> g(FCallbackLock);
        if (FStopping || !FOnFound) {
            return;
        }
        ++FInCallback;
    }
    try {
        FOnFound(&record);
    } catch (...) {
        // Never let an error travel back into the library.
        platform::DiagCaught(platform::EDiag::Discovery, "a camera the vendor library reported");
    }
    std::lock_guard<std::mutex> g(FCallbackLock);
    --FInCallback;
    FCallbackDone.notify_all();
}

} // namespace torvane
