#include "upgrade/uIUpgrade.h"

#include "i18n/Deployment.h"
#include "platform/File.h"
#include "platform/FileOps.h"
#include "platform/FolderSource.h"
#include "platform/Folders.h"
#include "platform/Host.h"
#include "platform/IniFile.h"
#include "platform/Text.h"
#include "upgrade/FirmwareFetches.h"
#include "upgrade/FirmwareProof.h"
#include "upgrade/Progress.h"
#include "upgrade/Tools.h"
#include "upgrade/Unzip.h"
#include "upgrade/uIUpgradeOpt.h"

#include <cerrno>
#include <string_view>

namespace torvane {

using platform::LowerAscii;
using platform::Trim;

bool IsPlainFileName(const std::string& name) {
    return platform::IsPlainPathComponent(name);
}

bool IsSafeCatalogFolder(const std::string& folder) {
    if (folder == "." || folder == "..") {
        return false;
    }
    for (const char ch : folder) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F) {
            return false;
        }
    }
    return true;
}

std::string UrlPathSegment(const std::string& text) {
    static constexpr std::string_view Kept = "-._~!$&'()*+,;=:@";
    return platform::PercentEncode(text, [](unsigned char c) {
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        return alnum || Kept.find(static_cast<char>(c)) != std::string_view::npos;
    });
}

std::string ReadQuotedValue(const std::string& page, const std::string& key, char quote,
                            bool* found) {
    const auto pos = page.find(key);
    if (found != nullptr) {
        *found = pos != std::string::npos;
    }
    if (pos == std::string::npos) {
        return {};
    }
    // Drop the key, the separator and the opening quote.
    const std::size_t start = pos + key.size() + 2;
    if (start > page.size()) {
        return {};
    }
    const auto end = page.find(quote, start);
    if (end == std::string::npos) {
        return {};
    }
    return page.substr(start, end - start);
}

TUpgradeObject::TUpgradeObject() {
    TUpgradeObject::Create();
}

void TUpgradeObject::Create() {
    FUser = "admin";
    FPassword.clear();
    FIP = "192.168.1.126";
    FPort = 81;
    FCurrentVersion.clear();
    FAppModel.clear();
    FAppModelLength = 0;
    FNewestVersion.clear();
    FOemName.clear();
    FFirmwareFileName.clear();
    FLocalFirmwarePath.clear();
}

void TUpgradeObject::SetUser(const std::string& user) {
    FUser = Trim(LowerAscii(user));
}

void TUpgradeObject::SetPassword(const std::string& password) {
    FPassword = Trim(LowerAscii(password));
}

std::string TUpgradeObject::CameraUrl(const std::string& path) const {
    return "http://" + UrlValue(FIP) + ":" + std::to_string(FPort) + path;
}

std::string TUpgradeObject::UploadUrl(const std::string& path) const {
    std::string url = "http://" + UrlValue(FIP);
    if (FPort != 80) {
        url += ":" + std::to_string(FPort);
    }
    return url + path;
}

std::string TUpgradeObject::LocalFileNameWith(const std::string& ext) const {
    std::string name = Trim(FFirmwareFileName);
    if (name.size() >= 4) {
        name.resize(name.size() - 4);
    }
    return name + ext;
}

std::string TUpgradeObject::GetLocalFileName() const {
    return LocalFileNameWith(".bin");
}

std::string TUpgradeObject::GetCatalogFolder() const {
    return FOemName;
}

int TUpgradeObject::Login() {
    std::string body;
    if (!TTools::HttpGet(CameraUrl("/oem.txt"), Trim(FUser), Trim(FPassword), FetchTimeoutMs,
                         body)) {
        FOemName.clear();
        return LoginUnreachable;
    }
    if (body.empty() || platform::Contains(body, "Unauthorized")) {
        FOemName.clear();
        return LoginRefused;
    }
    FOemName = body;
    return LoginOk;
}

bool TUpgradeObject::ReadCurrentVersion() {
    FCurrentVersion.clear();
    return false;
}

bool TUpgradeObject::FetchAppVer(std::string& body) const {
    return TTools::HttpGet(CameraUrl("/appver.js"), FUser, FPassword, FetchTimeoutMs, body);
}

std::string TUpgradeObject::GetCatalogSection() const {
    if (FAppModel.empty()) {
        const auto dot = FCurrentVersion.rfind('.');
        return dot == std::string::npos ? std::string() : FCurrentVersion.substr(0, dot);
    }
    if (FAppModelLength <= 0) {
        return FAppModel;
    }
    return FAppModel.substr(0, static_cast<std::size_t>(FAppModelLength));
}

bool TUpgradeObject::IsSameVersion(const std::string& version) const {
    return Trim(LowerAscii(version)) == Trim(LowerAscii(FCurrentVersion));
}

bool TUpgradeObject::Upload(std::string& /*message*/) {
    return false;
}

void TUpgradeObject::ReadCatalog(std::string& expectedMd5, std::string& excludedVersions,
                                 std::string& offeredVersion) {
    expectedMd5.clear();
    excludedVersions.clear();
    offeredVersion.clear();
    const std::string section = GetCatalogSection();
    if (section.empty()) {
        return;
    }
    const std::string temp = TTools::GetTempFolder();
    if (temp.empty()) {
        return;
    }
    const std::string local = temp + "Firmware.ini";
    const std::string folder = LowerAscii(GetCatalogFolder());
    std::string copy; // the catalogue this run reads
    std::string error;
    if (FFetches) {
        // A site upgrade: the folder's one copy, fetched by the first run that needed it.
        // The shared Firmware.ini is left alone.
        if (!IsSafeCatalogFolder(folder)) {
            return;
        }
        TFirmwareFetches::TCatalogCopy shared = FFetches->Catalog(temp, folder);
        if (shared.Path.empty()) {
            if (!shared.Error.empty()) {
                TUpgradeOpt::ShowDownloadError(shared.Error);
            }
            return;
        }
        copy = shared.Path;
    } else {
        // Whatever holds the name goes: a file, a link, even a folder left there.
        (void)platform::RemovePath(local);
        if (!IsSafeCatalogFolder(folder)) {
            // The OEM name comes from the camera: one that would lead out of the server's
            // folder for catalogues gets none.
            return;
        }
        // The catalogue goes to a file of this run's own and is read from there, then
        // becomes Firmware.ini: a run beside it (another camera, another program copy) that
        // reads another folder's catalogue at the same time can never hand it its own.
        {
            platform::TFile fresh = platform::TFile::CreateFreshBeside(local, ".catalog", 0600);
            if (!fresh.IsOpen()) {
                TUpgradeOpt::ShowDownloadError(platform::ErrorText(fresh.OpenError()));
                return;
            }
            copy = fresh.FreshPath();
        }
        (void)TUpgradeOpt::DownloadFromSource(folder, CatalogFileName, copy,
                                              EDownloadKind::Catalog);
    }
    if (platform::FileExists(copy)) {
        const platform::TIniFile catalog(copy);
        offeredVersion = catalog.ReadString(section, GetVersionKey(), "");
        expectedMd5 = catalog.ReadString(section, "MD5", "");
        excludedVersions = catalog.ReadString(section, "NO", "");
        FFirmwareFileName = catalog.ReadString(section, GetFileKey(), "");
    }
    if (!FFetches && platform::ReplacePath(copy, local) != 0) {
        (void)platform::RemoveFile(copy);
    }
}

int TUpgradeObject::DownloadFirmware(const std::string& expectedMd5) {
    const std::string temp = TTools::GetTempFolder();
    const std::string fileName = Trim(FFirmwareFileName);
    const std::string localName = GetLocalFileName();
    const std::string folder = LowerAscii(GetCatalogFolder());
    FLocalFirmwarePath = temp + localName;
    if (temp.empty() || !IsPlainFileName(fileName) || !IsPlainFileName(localName) ||
        !IsSafeCatalogFolder(folder)) {
        // No safe place for the files, or a name that would leave the folder.
        return DownloadFailed;
    }
    // One lock file per firmware file, for every run of every copy of the program: the
    // runs that find the file proved share it; the one that must fetch it holds it alone.
    // The lock files live in a folder of their own, whose name no firmware file can have
    // (every local firmware name ends in ".bin"), and are never removed: removing a lock
    // file that another run waits on would let a third run lock a new file of that name.
    FFirmwareLock.Close();
    const std::string locks = platform::PrivateFolder(temp + "firmware-locks");
    if (locks.empty() || !FFirmwareLock.Open(locks + localName) || !FFirmwareLock.LockShared()) {
        const int error = FFirmwareLock.OpenError();
        TUpgradeOpt::ShowDownloadError(platform::ErrorText(error != 0 ? error : EACCES));
        FFirmwareLock.Close();
        return DownloadFailed;
    }
    // A firmware file from an earlier run is reused only when it is proved to come from a
    // package with this run's MD5 and is still the file that was unpacked.
    if (IsProvedFirmware(FLocalFirmwarePath, expectedMd5)) {
        return DownloadReady;
    }
    if (!FFirmwareLock.LockExclusive()) {
        FFirmwareLock.Close();
        return DownloadFailed;
    }
    // Another run may have put it in place while this one waited for the lock.
    if (IsProvedFirmware(FLocalFirmwarePath, expectedMd5)) {
        (void)FFirmwareLock.LockShared();
        return DownloadReady;
    }
    const std::string key = TFirmwareFetches::PackageKey(folder, fileName, expectedMd5);
    if (FFetches) {
        // Within a site upgrade a package that failed is not fetched again for each camera:
        // every camera that needs it ends the same way, with the same reason.
        if (const auto failure = FFetches->PackageFailure(key)) {
            FFirmwareLock.Close();
            if (!failure->Error.empty()) {
                TUpgradeOpt::ShowDownloadError(failure->Error);
            }
            return failure->Result;
        }
    }
    const int result = FetchAndUnpack(temp, folder, fileName, expectedMd5, key);
    if (result == DownloadReady) {
        (void)FFirmwareLock.LockShared();
    } else {
        FFirmwareLock.Close();
    }
    return result;
}

int TUpgradeObject::FetchAndUnpack(const std::string& temp, const std::string& folder,
                                   const std::string& fileName, const std::string& expectedMd5,
                                   const std::string& key) {
    const auto failed = [&](int result, const std::string& error) {
        if (FFetches) {
            FFetches->RememberPackageFailure(key, {result, error});
        }
        return result;
    };
    // The package goes to a fresh name and never gets a name of its own: nothing that
    // failed to download or to pass its check is ever found under a name a run looks for,
    // and no file that happens to have the catalogue's name is touched.
    std::string download;
    {
        platform::TFile fresh = platform::TFile::CreateFreshBeside(temp + fileName, ".package");
        if (!fresh.IsOpen()) {
            const std::string error = platform::ErrorText(fresh.OpenError());
            TUpgradeOpt::ShowDownloadError(error);
            return DownloadFailed; // a local fault: another run may fare better
        }
        download = fresh.FreshPath();
    }
    struct TRemoveOnExit {
        std::string Path;
        ~TRemoveOnExit() { (void)platform::RemoveFile(Path); }
    } removeDownload{download};

    std::string error;
    if (!TUpgradeOpt::FetchFromSource(FirmwareSource(), folder, fileName, download,
                                      EDownloadKind::Package, error)) {
        TUpgradeOpt::ShowDownloadError(error);
        return failed(DownloadFailed, error);
    }
    ReportProgress(EUpgradePhase::Check);
    if (!TUpgradeOpt::CheckMd5(download, expectedMd5)) {
        return failed(DownloadDigestMismatch, {});
    }
    // The old proof goes before the file changes: a run that stops half-way leaves a file
    // without a proof, which the next run replaces.
    RemoveFirmwareProof(FLocalFirmwarePath);
    ReportProgress(EUpgradePhase::Unpack);
    TUnpackedFile unpacked;
    std::string unzipError;
    if (!UnzipEntry(download, FLocalFirmwarePath, MaxUnpackedBytes, unpacked, unzipError)) {
        return failed(DownloadUnpackFailed, {});
    }
    if (!platform::FileExists(FLocalFirmwarePath)) {
        return failed(DownloadFileMissing, {});
    }
    // Checked in this run either way; without its proof the next run downloads again.
    (void)WriteFirmwareProof(FLocalFirmwarePath,
                             {LowerAscii(expectedMd5), unpacked.Sha256, unpacked.Size});
    return DownloadReady;
}

// --- kind-level classes -----------------------------------------------------------------

bool TSysUpgradeObject::ReadCurrentVersion() {
    SetCurrentVersion("");
    std::string body;
    if (FetchAppVer(body)) {
        SetAppModel(ReadQuotedValue(body, "app_model", '"'));
    }
    return true;
}

bool TUIUpgradeObject::ReadCurrentVersion() {
    SetCurrentVersion("");
    std::string body;
    if (!FetchAppVer(body)) {
        return false;
    }
    SetAppModel(ReadQuotedValue(body, "app_model", '"'));
    bool found = false;
    std::string version = ReadQuotedValue(body, "app_ver", '"', &found);
    if (!found) {
        return false;
    }
    SetCurrentVersion(Trim(platform::ReplaceAll(version, "v", "")));
    return true;
}

} // namespace torvane
