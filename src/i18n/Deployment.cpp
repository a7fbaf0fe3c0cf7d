#include "i18n/Deployment.h"

#include "i18n/OptionFile.h"
#include "platform/Text.h"

#include <mutex>

#ifndef TORVANE_DEFAULT_FIRMWARE_SERVER
#define TORVANE_DEFAULT_FIRMWARE_SERVER "http://127.0.0.1:8300/FM/"
#endif
#ifndef TORVANE_DEFAULT_BROADCAST_ADDRESS
#define TORVANE_DEFAULT_BROADCAST_ADDRESS "255.255.255.255"
#endif

namespace torvane {

namespace {

struct TSettings {
    std::mutex Lock;
    std::string Server = TORVANE_DEFAULT_FIRMWARE_SERVER;
    std::string Broadcast = TORVANE_DEFAULT_BROADCAST_ADDRESS;
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
    std::lock_guard<std::mutex> g(Settings().Lock);
    Settings().Broadcast = platform::Trim(address);
}

std::string DefaultFirmwareServerUrl() {
    return WithSlash(TORVANE_DEFAULT_FIRMWARE_SERVER);
}

std::string DefaultBroadcastAddress() {
    return TORVANE_DEFAULT_BROADCAST_ADDRESS;
}

void LoadDeploymentSettings() {
    const TOptionFile options("option.ini");
    const std::string server = options.ReadString("Global", "server", "");
    const std::string broadcast = options.ReadString("Global", "broadcast", "");
    SetFirmwareServerUrl(server.empty() ? DefaultFirmwareServerUrl() : server);
    SetBroadcastAddress(broadcast.empty() ? DefaultBroadcastAddress() : broadcast);
}

} // namespace torvane
