#pragma once
// The deployment settings: the firmware source (the firmware server's base URL, a file://
// URL or a folder, each holding the catalogue folders and packages), the destination of
// the LAN search probes ("auto": every IPv4 interface that can broadcast, or one address)
// and, optionally, the one interface the search is limited to. Compiled-in defaults (CMake
// cache variables TORVANE_FIRMWARE_SERVER, TORVANE_BROADCAST_ADDRESS and
// TORVANE_SEARCH_INTERFACE), overridden by option.ini ([Global] "server", "broadcast" and
// "interface"; see OptionFile.h for its files), overridden by the command line's flags.
// They belong to the current context (platform/Context.h): a fresh context starts from the
// compiled-in defaults. Set them before any thread of the context reads them; reading is
// safe from any thread.
//
// Everything that reads or writes these settings in option.ini goes through this unit
// (LoadDeploymentSettings, StoredDeploymentSettings, StoreDeploymentSettings), so the
// window and torvane-cli always agree on them.

#include "platform/Interfaces.h"

#include <optional>
#include <string>
#include <vector>

namespace torvane {

// option.ini's section and keys of the deployment settings.
inline constexpr const char* SettingsSection = "Global";
inline constexpr const char* ServerSettingKey = "server";
inline constexpr const char* BroadcastSettingKey = "broadcast";
inline constexpr const char* InterfaceSettingKey = "interface";

[[nodiscard]] std::string FirmwareServerUrl(); // the source as set; always ends with "/"
void SetFirmwareServerUrl(const std::string& url);
// "auto" or an address as set (trimmed; "auto" in any case is kept as "auto"). A value
// that is neither leaves the search without a destination (see SearchTargets).
[[nodiscard]] std::string BroadcastAddress();
void SetBroadcastAddress(const std::string& address);
// The interface the search is limited to; empty: every interface.
[[nodiscard]] std::string SearchInterface();
void SetSearchInterface(const std::string& name);

[[nodiscard]] std::string DefaultFirmwareServerUrl();
[[nodiscard]] std::string DefaultBroadcastAddress();
[[nodiscard]] std::string DefaultSearchInterface();

// Where firmware comes from.
enum class EFirmwareSourceKind {
    Invalid, // none of the forms below
    Http,    // an http:// or https:// URL
    Folder,  // a folder of this machine, named by a path or a file:// URL
};

struct TFirmwareSource {
    EFirmwareSourceKind Kind = EFirmwareSourceKind::Invalid;
    // Http: the URL, ending with "/". Folder: the absolute path, ending with "/".
    std::string Location;
    // The setting as it was given (trimmed), for messages.
    std::string Setting;
};

// Reads a firmware source setting (blanks around it are ignored):
//   - "http://..." or "https://..." (scheme in any case): that URL;
//   - "file:///path", "file://localhost/path" or "file:/path": that folder, "%XX" decoded;
//   - anything else that has no "scheme://" in front: a folder path; "~/" at its start is
//     the home folder, a relative path is taken from the current folder.
// Invalid: an empty text, a file:// URL naming another machine or no absolute path, a URL
// of any other scheme ("ftp://...", a mistyped "htp://..."), a zero byte.
[[nodiscard]] TFirmwareSource ParseFirmwareSource(const std::string& text);
// The current setting, read as above.
[[nodiscard]] TFirmwareSource FirmwareSource();

// Where one probe of the search goes under the current settings, with the interfaces as
// they are at this moment (platform::ResolveBroadcastTargets). Every probe of the LAN
// search, the T-series search and the CTP version search is sent to these.
[[nodiscard]] std::vector<platform::TBroadcastTarget> SearchTargets();

// Reads the settings from option.ini over the compiled-in defaults.
void LoadDeploymentSettings();

// The three settings as option.ini gives them (empty: not set there, the compiled-in
// default applies).
struct TDeploymentSettings {
    std::string Server;
    std::string Broadcast;
    std::string Interface;
};
[[nodiscard]] TDeploymentSettings StoredDeploymentSettings();

// Why StoreDeploymentSettings refused or failed.
struct TStoreResult {
    bool Ok = false;
    std::string InvalidKey; // the key whose value is not acceptable (nothing was written)
    std::string File;       // otherwise: the user's file that could not be written
};
// Checks the three values (empty, or: a firmware source ParseFirmwareSource accepts, "auto"
// or an IPv4 address, an interface name) and writes them into the user's option.ini, where
// both programs read them from their next start on. A folder is stored as an absolute path.
[[nodiscard]] TStoreResult StoreDeploymentSettings(const TDeploymentSettings& settings);
// The same, but only the values that differ from before (the settings as they were read,
// StoredDeploymentSettings) are written; every value is checked. A value left as it was
// stays where it is set: in the program folder's file, or nowhere (the default applies).
[[nodiscard]] TStoreResult StoreDeploymentSettings(const TDeploymentSettings& settings,
                                                   const TDeploymentSettings& before);

// torvane-cli's former settings file (~/.config/torvane-cli/option.ini), still read where
// the shared file lacks a setting: its path, the shared file's path, and each of its
// deployment settings that the shared file overrides.
struct TOverriddenSetting {
    std::string Key;
    std::string FormerValue; // in the former file, not used
    std::string Value;       // in the shared file, used
};
struct TFormerSettingsFile {
    std::string Path;
    std::string SharedPath;
    std::vector<TOverriddenSetting> Overridden;
};
// None while the former file does not exist.
[[nodiscard]] std::optional<TFormerSettingsFile> FormerSettingsFile();

} // namespace torvane
