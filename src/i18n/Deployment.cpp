#include "i18n/Deployment.h"

#include "i18n/OptionFile.h"
#include "platform/Text.h"

#include <mutex>
#include <utility>

#ifndef TORVANE_DEFAULT_FIRMWARE_SERVER
#define TORVANE_DEFAULT_FIRMWARE_SERVER "http://127.0.0.1:8300/FM/"
#endif
#ifndef TORVANE_DEFAULT_BROADCAST_ADDRESS
#define TORVANE_DEFAULT_BROADCAST_ADDRESS "auto"
#endif
#ifndef TORVANE_DEFAULT_SEARCH_INTERFACE
#define TORVANE_DEFAULT_SEARCH_INTERFACE ""
#endif

namespace torvane {

namespace {

struct TSettings {
    std::mutex Lock;
    std::string Server = TORVANE_DEFAULT_FIRMWARE_SERVER;
    std::string Broadcast = TORVANE_DEFAULT_BROADCAST_ADDRESS;
    std::string Interface = TORVANE_DEFAULT_SEARCH_INTERFACE;
};

TSettings& Settings() {
    static TSettings s;
    return s;
}

std::string WithSlash(std::string url) {
    url = platform::Trim(url);
    if (!url.empty() && url.back() != '/') {
        url += '/';
    }
    return url;
}

} // namespace

std::string FirmwareServerUrl() {
    std::lock_guard<std::mutex> g(Settings().Lock);
    return WithSlash(Settings().Server);
}

void SetFirmwareServerUrl(const std::string& url) {
    std::lock_guard<std::mutex> g(Settings().Lock);
    Settings().Server = url;
}

std::string BroadcastAddress() {
    std::lock_guard<std::mutex> g(Settings().Lock);
    return Settings().Broadcast;
}

void SetBroadcastAddress(const std::string& address) {
    std::string value = platform::Trim(address);
    if (platform::IsAutoBroadcast(value)) {
        value = std::string(platform::BroadcastAuto);
    }
    std::lock_guard<std::mutex> g(Settings().Lock);
    Settings().Broadcast = std::move(value);
}

std::string SearchInterface() {
    std::lock_guard<std::mutex> g(Settings().Lock);
    return Settings().Interface;
}

void SetSearchInterface(const std::string& name) {
    std::lock_guard<std::mutex> g(Settings().Lock);
    Settings().Interface = platform::Trim(name);
}

std::string DefaultFirmwareServerUrl() {
    return WithSlash(TORVANE_DEFAULT_FIRMWARE_SERVER);
}

std::string DefaultBroadcastAddress() {
    return TORVANE_DEFAULT_BROADCAST_ADDRESS;
}

std::string DefaultSearchInterface() {
    return platform::Trim(TORVANE_DEFAULT_SEARCH_INTERFACE);
}

std::vector<platform::TBroadcastTarget> SearchTargets() {
    std::string broadcast;
    std::string only;
    {
        std::lock_guard<std::mutex> g(Settings().Lock);
        broadcast = Settings().Broadcast;
        only = Settings().Interface;
    }
    return platform::ResolveBroadcastTargets(broadcast, only);
}

void LoadDeploymentSettings() {
    const TOptionFile options("option.ini");
    const std::string server = options.ReadString("Global", "server", "");
    const std::string broadcast = options.ReadString("Global", "broadcast", "");
    const std::string only = options.ReadString("Global", "interface", "");
    SetFirmwareServerUrl(server.empty() ? DefaultFirmwareServerUrl() : server);
    SetBroadcastAddress(broadcast.empty() ? DefaultBroadcastAddress() : broadcast);
    SetSearchInterface(only.empty() ? DefaultSearchInterface() : only);
}

} // namespace torvane
