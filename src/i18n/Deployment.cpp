#include "i18n/Deployment.h"

#include "i18n/OptionFile.h"
#include "platform/Context.h"
#include "platform/Folders.h"
#include "platform/Locked.h"
#include "platform/Text.h"

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

constexpr const char* SettingsFileName = "option.ini";

// The settings of one context (platform/Context.h): a program's, or one test's.
struct TSettings {
    platform::TLocked<std::string> Server{TORVANE_DEFAULT_FIRMWARE_SERVER};
    platform::TLocked<std::string> Broadcast{TORVANE_DEFAULT_BROADCAST_ADDRESS};
    platform::TLocked<std::string> Interface{TORVANE_DEFAULT_SEARCH_INTERFACE};
};

TSettings& Settings() {
    return platform::Context().Part<TSettings>();
}

std::string WithSlash(std::string url) {
    url = platform::Trim(url);
    if (!url.empty() && url.back() != '/') {
        url += '/';
    }
    return url;
}

bool IsSchemeChar(char c, bool first) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return letter || (!first && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
}

// "name://" in front: a URL, whatever its scheme.
bool HasScheme(const std::string& text) {
    const auto colon = text.find("://");
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    for (std::size_t i = 0; i < colon; ++i) {
        if (!IsSchemeChar(text[i], i == 0)) {
            return false;
        }
    }
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// "%XX" decoded; none for a broken escape or a zero byte.
std::optional<std::string> PercentDecoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0)) {
            return std::nullopt;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

TFirmwareSource FolderSource(std::string path) {
    TFirmwareSource source;
    if (path.empty() || path.find('\0') != std::string::npos) {
        return source;
    }
    source.Kind = EFirmwareSourceKind::Folder;
    source.Location = platform::WithTrailingSeparator(std::move(path));
    return source;
}

// file:///path, file://localhost/path, file:/path (text after "file:").
TFirmwareSource FileUrlSource(std::string rest) {
    if (platform::StartsWith(rest, "//")) {
        rest.erase(0, 2);
        const auto slash = rest.find('/');
        const std::string host = rest.substr(0, slash);
        if (slash == std::string::npos ||
            (!host.empty() && platform::LowerAscii(host) != "localhost")) {
            return {}; // another machine's folder, or no path
        }
        rest.erase(0, slash);
    }
    // A query or a fragment is no part of the path.
    rest = rest.substr(0, rest.find_first_of("?#"));
    if (rest.empty() || rest.front() != '/') {
        return {};
    }
    const std::optional<std::string> path = PercentDecoded(rest);
    return path ? FolderSource(*path) : TFirmwareSource{};
}

// The source named by a trimmed setting.
TFirmwareSource ParseSource(const std::string& value) {
    if (value.empty() || value.find('\0') != std::string::npos) {
        return {};
    }
    const std::string lower = platform::LowerAscii(value);
    for (const char* scheme : {"http://", "https://"}) {
        if (platform::StartsWith(lower, scheme)) {
            if (value.size() == std::string(scheme).size() ||
                value.find_first_of(" \t\r\n") != std::string::npos) {
                return {};
            }
            TFirmwareSource source;
            source.Kind = EFirmwareSourceKind::Http;
            source.Location = WithSlash(value);
            return source;
        }
    }
    if (platform::StartsWith(lower, "file:")) {
        return FileUrlSource(value.substr(5));
    }
    if (HasScheme(value)) {
        return {};
    }
    std::string path = value;
    if (path == "~" || platform::StartsWith(path, "~/")) {
        const std::string home = platform::EnvironmentValue("HOME");
        if (home.empty() || home.front() != '/') {
            return {};
        }
        path = platform::WithTrailingSeparator(home) +
               path.substr(std::min<std::size_t>(2, path.size()));
    } else if (path.front() != '/') {
        const std::string here = platform::CurrentFolder();
        if (here.empty()) {
            return {};
        }
        path = platform::WithTrailingSeparator(here) + path;
    }
    return FolderSource(path);
}

} // namespace

TFirmwareSource ParseFirmwareSource(const std::string& text) {
    TFirmwareSource source = ParseSource(platform::Trim(text));
    source.Setting = platform::Trim(text);
    return source;
}

TFirmwareSource FirmwareSource() {
    return ParseFirmwareSource(FirmwareServerUrl());
}

std::string FirmwareServerUrl() {
    return WithSlash(Settings().Server.Get());
}

void SetFirmwareServerUrl(const std::string& url) {
    Settings().Server.Set(url);
}

std::string BroadcastAddress() {
    return Settings().Broadcast.Get();
}

void SetBroadcastAddress(const std::string& address) {
    std::string value = platform::Trim(address);
    if (platform::IsAutoBroadcast(value)) {
        value = std::string(platform::BroadcastAuto);
    }
    Settings().Broadcast.Set(std::move(value));
}

std::string SearchInterface() {
    return Settings().Interface.Get();
}

void SetSearchInterface(const std::string& name) {
    Settings().Interface.Set(platform::Trim(name));
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
    return platform::ResolveBroadcastTargets(BroadcastAddress(), SearchInterface());
}

void LoadDeploymentSettings() {
    const TDeploymentSettings stored = StoredDeploymentSettings();
    SetFirmwareServerUrl(stored.Server.empty() ? DefaultFirmwareServerUrl() : stored.Server);
    SetBroadcastAddress(stored.Broadcast.empty() ? DefaultBroadcastAddress() : stored.Broadcast);
    SetSearchInterface(stored.Interface.empty() ? DefaultSearchInterface() : stored.Interface);
}

TDeploymentSettings StoredDeploymentSettings() {
    const TOptionFile options(SettingsFileName);
    TDeploymentSettings stored;
    stored.Server = platform::Trim(options.ReadString(SettingsSection, ServerSettingKey, ""));
    stored.Broadcast =
        platform::Trim(options.ReadString(SettingsSection, BroadcastSettingKey, ""));
    stored.Interface =
        platform::Trim(options.ReadString(SettingsSection, InterfaceSettingKey, ""));
    return stored;
}

namespace {

// The three values as they are written, or the key of the first that is not acceptable.
struct TCheckedSettings {
    TDeploymentSettings Values;
    std::string InvalidKey;
};

TCheckedSettings CheckedSettings(const TDeploymentSettings& settings) {
    TCheckedSettings checked;
    std::string server = platform::Trim(settings.Server);
    std::string broadcast = platform::Trim(settings.Broadcast);
    const std::string only = platform::Trim(settings.Interface);
    if (!server.empty()) {
        const TFirmwareSource source = ParseFirmwareSource(server);
        if (source.Kind == EFirmwareSourceKind::Invalid) {
            checked.InvalidKey = ServerSettingKey;
            return checked;
        }
        // A folder is kept as the absolute path it names now, whatever the current folder
        // of a later run; a file:// URL as written.
        if (source.Kind == EFirmwareSourceKind::Folder &&
            !platform::StartsWith(platform::LowerAscii(server), "file:")) {
            server = source.Location;
        }
    }
    if (!broadcast.empty() && !platform::IsValidBroadcastSetting(broadcast)) {
        checked.InvalidKey = BroadcastSettingKey;
        return checked;
    }
    if (platform::IsAutoBroadcast(broadcast)) {
        broadcast = std::string(platform::BroadcastAuto);
    }
    if (!only.empty() && !platform::IsValidInterfaceName(only)) {
        checked.InvalidKey = InterfaceSettingKey;
        return checked;
    }
    checked.Values = {std::move(server), std::move(broadcast), only};
    return checked;
}

TStoreResult WriteSettings(const TDeploymentSettings& settings,
                           const TDeploymentSettings* before) {
    TStoreResult result;
    const TCheckedSettings checked = CheckedSettings(settings);
    if (!checked.InvalidKey.empty()) {
        result.InvalidKey = checked.InvalidKey;
        return result;
    }
    TOptionFile options(SettingsFileName);
    // given: the value as the caller gave it; value: as it is written.
    const auto write = [&](const char* key, const std::string& given, const std::string& value,
                           const std::string* old) {
        if (old != nullptr && platform::Trim(*old) == platform::Trim(given)) {
            return true; // left as it was: not written, wherever it is set
        }
        return options.WriteString(SettingsSection, key, value);
    };
    if (!write(ServerSettingKey, settings.Server, checked.Values.Server,
               before ? &before->Server : nullptr) ||
        !write(BroadcastSettingKey, settings.Broadcast, checked.Values.Broadcast,
               before ? &before->Broadcast : nullptr) ||
        !write(InterfaceSettingKey, settings.Interface, checked.Values.Interface,
               before ? &before->Interface : nullptr)) {
        result.File = options.UserFileName();
        return result;
    }
    result.Ok = true;
    return result;
}

} // namespace

TStoreResult StoreDeploymentSettings(const TDeploymentSettings& settings) {
    return WriteSettings(settings, nullptr);
}

TStoreResult StoreDeploymentSettings(const TDeploymentSettings& settings,
                                     const TDeploymentSettings& before) {
    return WriteSettings(settings, &before);
}

std::optional<TFormerSettingsFile> FormerSettingsFile() {
    const TOptionFile options(SettingsFileName);
    if (options.FormerFileName().empty()) {
        return std::nullopt;
    }
    TFormerSettingsFile former;
    former.Path = options.FormerFileName();
    former.SharedPath = options.UserFileName();
    for (const char* key : {ServerSettingKey, BroadcastSettingKey, InterfaceSettingKey}) {
        const auto old = options.FindInFormerFile(SettingsSection, key);
        const auto shared = options.FindInUserFile(SettingsSection, key);
        if (old && shared && platform::Trim(*old) != platform::Trim(*shared)) {
            former.Overridden.push_back({key, platform::Trim(*old), platform::Trim(*shared)});
        }
    }
    return former;
}

} // namespace torvane
