#pragma once
// The search through the camera vendor's client library. The library is loaded at
// construction from "909/libDVSNETClient.so" in the program's folder when present; each
// camera it reports becomes a TDevInfo (nType 4) handed to the callback. Without the
// library, Search finds nothing and says so by its result; nothing is reported.

#include "platform/DynamicLibrary.h"
#include "series/DevInfo.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace torvane {

class TFind_Hisi {
public:
    // Called on the library's thread with a record valid during the call only; it must
    // copy what it keeps (the search session posts a copy to the main thread).
    using TFoundCallback = std::function<void(const TDevInfo* record)>;

    // The library's path: the program's folder + "909/libDVSNETClient.so".
    [[nodiscard]] static std::string DefaultLibraryPath();

    explicit TFind_Hisi(const std::string& libraryPath = DefaultLibraryPath());
    // Stops the library's search (when it has a stop entry point) and unloads it.
    ~TFind_Hisi();
    TFind_Hisi(const TFind_Hisi&) = delete;
    TFind_Hisi& operator=(const TFind_Hisi&) = delete;

    void SetCallback(TFoundCallback callback);
    // Starts the library's search; true when the library is loaded, exports the search
    // and reported success.
    [[nodiscard]] bool Search();
    [[nodiscard]] bool Loaded() const { return FLib && FLib->Loaded(); }

private:
    static void SearchCallback(int unused1, const char* name, int unused3,
                               const char* ipAddress, const unsigned char* mac6, int port,
                               int port2, const char* netmask, const char* gateway,
                               const char* auxText, const char* dns, int aux16, int aux32,
                               int dhcp, void* context);
    void Report(const TDevInfo& record);

    std::unique_ptr<platform::TDynamicLibrary> FLib;
    TFoundCallback FOnFound;
    // Callbacks under way, and whether the destructor has begun; it waits for the first
    // to reach 0.
    std::mutex FCallbackLock;
    std::condition_variable FCallbackDone;
    bool FStopping = false;
    int FInCallback = 0;
};

} // namespace torvane
