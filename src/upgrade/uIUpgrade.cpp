#include "upgrade/uIUpgrade.h"

#include "i18n/Deployment.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "platform/Text.h"
#include "upgrade/Tools.h"
#include "upgrade/uIUpgradeOpt.h"

namespace torvane {

using platform::LowerAscii;
using platform::Trim;

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
    (void)platform::RemoveFile(local);
    const std::string url =
        FirmwareServerUrl() + UrlValue(LowerAscii(GetCatalogFolder())) + "/firmware.txt";
    (void)TUpgradeOpt::DownloadToFile(url, local);
    if (!platform::FileExists(local)) {
        return;
    }
    const platform::TIniFile catalog(local);
    offeredVersion = catalog.ReadString(section, GetVersionKey(), "");
    expectedMd5 = catalog.ReadString(section, "MD5", "");
    excludedVersions = catalog.ReadString(section, "NO", "");
    FFirmwareFileName = catalog.ReadString(section, GetFileKey(), "");
}

int TUpgradeObject::DownloadFirmware(const std::string& expectedMd5) {
    const std::string temp = TTools::GetTempFolder();
    const std::string fileName = Trim(FFirmwareFileName);
    const std::string packageUrl =
        FirmwareServerUrl() + UrlValue(LowerAscii(GetCatalogFolder())) + "/" + UrlValue(fileName);
    const std::string packagePath = temp + fileName;
    FLocalFirmwarePath = temp + GetLocalFileName();
    if (temp.empty() || fileName.empty() || fileName.find('/') != std::string::npos ||
        fileName == "." || fileName == "..") {
        // No safe place for the package, or a name that would leave the folder.
        return DownloadFailed;
    }
    int result = DownloadReady;
    if (!platform::FileExists(FLocalFirmwarePath)) {
        if (!TUpgradeOpt::DownloadToFile(packageUrl, packagePath)) {
            return DownloadFailed;
        }
        if (!TUpgradeOpt::CheckMd5(packagePath, expectedMd5)) {
            return DownloadDigestMismatch;
        }
        if (!TUpgradeOpt::UnzipPackage(packagePath, FLocalFirmwarePath)) {
            return DownloadUnpackFailed;
        }
        result = platform::FileExists(FLocalFirmwarePath) ? DownloadReady : DownloadFileMissing;
    }
    // A catalogue name that already ends in ".bin" makes the package and the unpacked file
    // one path: deleting the "package" would then throw away the firmware just confirmed.
    if (packagePath != FLocalFirmwarePath) {
        (void)platform::RemoveFile(packagePath);
    }
    return result;
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
