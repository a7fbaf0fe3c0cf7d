#pragma once
// The upgrade adapter: everything one upgrade run knows about one camera and one firmware
// kind, and the eleven operations the upgrade worker calls on it in a fixed order.
//
//   slot  operation            TUpgradeObject         TSysUpgradeObject   TUIUpgradeObject
//   0     GetVersionKey        abstract               "SysVer"            "AppVer"
//   1     GetFileKey           abstract               "SysFile"           "AppFile"
//   2     GetLocalFileName     name with ".bin"       inherited           inherited
//   3     GetCatalogFolder     OemName                "system"            inherited
//   4     Create               sets the defaults      inherited           inherited
//   5     Login                GET /oem.txt (Basic)   inherited           inherited
//   6     ReadCurrentVersion   false                  app_model only      app_model, app_ver
//   7     ReadCatalog          firmware.txt           inherited           inherited
//   8     GetCatalogSection    model or version       inherited           inherited
//   9     IsSameVersion        trimmed, case-blind    inherited           inherited
//   10    Upload               false                  inherited           inherited

#include "platform/InstanceLock.h"

#include <memory>
#include <string>

namespace torvane {

class TFirmwareFetches;

class TUpgradeObject {
public:
    TUpgradeObject();
    virtual ~TUpgradeObject() = default;
    TUpgradeObject(const TUpgradeObject&) = delete;
    TUpgradeObject& operator=(const TUpgradeObject&) = delete;

    // Login results.
    static constexpr int LoginOk = 0;
    static constexpr int LoginRefused = 1;
    static constexpr int LoginUnreachable = 2;
    // DownloadFirmware results.
    static constexpr int DownloadReady = 0;
    static constexpr int DownloadFailed = 1;
    static constexpr int DownloadDigestMismatch = 2;
    static constexpr int DownloadUnpackFailed = 3;
    static constexpr int DownloadFileMissing = 4;
    // Time-out of every camera page fetch.
    static constexpr int FetchTimeoutMs = 20000;

    // --- slots ---
    [[nodiscard]] virtual std::string GetVersionKey() const = 0;            // 0
    [[nodiscard]] virtual std::string GetFileKey() const = 0;               // 1
    [[nodiscard]] virtual std::string GetLocalFileName() const;             // 2
    [[nodiscard]] virtual std::string GetCatalogFolder() const;             // 3
    virtual void Create();                                                  // 4
    [[nodiscard]] virtual int Login();                                      // 5
    [[nodiscard]] virtual bool ReadCurrentVersion();                        // 6
    virtual void ReadCatalog(std::string& expectedMd5, std::string& excludedVersions,
                             std::string& offeredVersion);                  // 7
    [[nodiscard]] virtual std::string GetCatalogSection() const;            // 8
    [[nodiscard]] virtual bool IsSameVersion(const std::string& version) const; // 9
    [[nodiscard]] virtual bool Upload(std::string& message);                // 10

    // Fetches, checks and unpacks the package named by the catalogue (results above).
    // Under the package's file lock in the temporary folder: one run (of this program or
    // another copy) fetches and unpacks while the others wait, then find the proved file.
    // A ready firmware file stays locked against replacement (shared) until the adapter
    // goes, so that no other run replaces it during this run's upload.
    [[nodiscard]] int DownloadFirmware(const std::string& expectedMd5);

    // The fetches a site upgrade shares among its runs (catalogues read once, a failed
    // package not fetched again); none for a single run. Set before the run starts.
    void SetFetches(std::shared_ptr<TFirmwareFetches> fetches) { FFetches = std::move(fetches); }

    // --- fields ---
    [[nodiscard]] const std::string& User() const { return FUser; }
    void SetUser(const std::string& user);         // lower-cased, then trimmed
    [[nodiscard]] const std::string& Password() const { return FPassword; }
    void SetPassword(const std::string& password); // lower-cased, then trimmed
    [[nodiscard]] const std::string& IP() const { return FIP; }
    void SetIP(const std::string& ip) { FIP = ip; }
    [[nodiscard]] int Port() const { return FPort; }
    void SetPort(int port) { FPort = port; }
    [[nodiscard]] const std::string& CurrentVersion() const { return FCurrentVersion; }
    void SetCurrentVersion(const std::string& v) { FCurrentVersion = v; }
    [[nodiscard]] const std::string& AppModel() const { return FAppModel; }
    void SetAppModel(const std::string& m) { FAppModel = m; }
    [[nodiscard]] int AppModelLength() const { return FAppModelLength; }
    void SetAppModelLength(int n) { FAppModelLength = n; }
    [[nodiscard]] const std::string& NewestVersion() const { return FNewestVersion; }
    void SetNewestVersion(const std::string& v) { FNewestVersion = v; }
    [[nodiscard]] const std::string& OemName() const { return FOemName; }
    // The series letter (E, F, H, T); set by the factory, empty for an adapter made
    // otherwise.
    [[nodiscard]] const std::string& SeriesName() const { return FSeriesName; }
    void SetSeriesName(const std::string& name) { FSeriesName = name; }
    [[nodiscard]] const std::string& FirmwareFileName() const { return FFirmwareFileName; }
    [[nodiscard]] const std::string& LocalFirmwarePath() const { return FLocalFirmwarePath; }

    // "http://" + IP + ":" + Port (the port always written) + path.
    [[nodiscard]] std::string CameraUrl(const std::string& path) const;
    // "http://" + IP, ":" + Port unless it is 80, then path.
    [[nodiscard]] std::string UploadUrl(const std::string& path) const;

protected:
    void SetOemName(const std::string& name) { FOemName = name; }
    void SetFirmwareFileName(const std::string& name) { FFirmwareFileName = name; }
    void SetLocalFirmwarePath(const std::string& path) { FLocalFirmwarePath = path; }
    // The local name: FirmwareFileName trimmed, its last four characters replaced by ext.
    [[nodiscard]] std::string LocalFileNameWith(const std::string& ext) const;
    // Reads app_model (and, for UI firmware, nothing more) from /appver.js with Basic
    // credentials; false when the page could not be fetched.
    [[nodiscard]] bool FetchAppVer(std::string& body) const;

private:
    // DownloadFirmware's fetch, check and unpacking, under the exclusive lock.
    [[nodiscard]] int FetchAndUnpack(const std::string& temp, const std::string& folder,
                                     const std::string& fileName,
                                     const std::string& expectedMd5, const std::string& key);

    std::string FUser;
    std::string FPassword;
    std::string FIP;
    int FPort = 81;
    std::string FCurrentVersion;
    std::string FAppModel;
    int FAppModelLength = 0;
    std::string FNewestVersion;
    std::string FOemName;
    std::string FSeriesName;
    std::string FFirmwareFileName;
    std::string FLocalFirmwarePath;
    std::shared_ptr<TFirmwareFetches> FFetches;
    platform::TFileLock FFirmwareLock;
};

class TSysUpgradeObject : public TUpgradeObject {
public:
    [[nodiscard]] std::string GetVersionKey() const override { return "SysVer"; }
    [[nodiscard]] std::string GetFileKey() const override { return "SysFile"; }
    [[nodiscard]] std::string GetCatalogFolder() const override { return "system"; }
    // Clears CurrentVersion and takes AppModel from /appver.js; the series reads the
    // version itself. True unless an error was raised on the way.
    [[nodiscard]] bool ReadCurrentVersion() override;
};

class TUIUpgradeObject : public TUpgradeObject {
public:
    [[nodiscard]] std::string GetVersionKey() const override { return "AppVer"; }
    [[nodiscard]] std::string GetFileKey() const override { return "AppFile"; }
    // AppModel and CurrentVersion from /appver.js (every lower-case "v" removed from the
    // version, then trimmed).
    [[nodiscard]] bool ReadCurrentVersion() override;
};

// The catalogue's file name in each catalogue folder.
inline constexpr const char* CatalogFileName = "firmware.txt";

// A file name from a catalogue that stays in the folder it is put in: not empty, "." or
// "..", without "/" or a zero byte.
[[nodiscard]] bool IsPlainFileName(const std::string& name);

// True when a catalogue folder taken from the camera (its OEM name) stays one folder below
// the server's base URL: not "." or "..", and without "/", a backslash or control characters.
[[nodiscard]] bool IsSafeCatalogFolder(const std::string& folder);

// One path segment of a firmware server URL: letters, digits and "-._~!$&'()*+,;=:@" stay,
// every other byte ("%", "?", "#", "/", blanks, controls, bytes above 0x7E) is
// percent-encoded, so the text can neither end the path nor be decoded into another one.
[[nodiscard]] std::string UrlPathSegment(const std::string& text);

// The value of key in a camera page of the form key, separator, quote, value, quote: the
// text after the key, one separator character and the opening quote, up to the next quote.
// A missing key gives an empty text and found = false; a missing closing quote gives an
// empty text.
[[nodiscard]] std::string ReadQuotedValue(const std::string& page, const std::string& key,
                                          char quote, bool* found = nullptr);

} // namespace torvane
