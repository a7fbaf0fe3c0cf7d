#include "i18n/OptionFile.h"

#include "platform/FileOps.h"
#include "platform/Folders.h"

namespace torvane {

namespace {

std::string ProgramFolder(const std::string& appFolder) {
    return appFolder.empty() ? platform::FolderOf(platform::ModulePath())
                             : platform::WithTrailingSeparator(appFolder);
}

// ~/.config/torvane/ for the window and torvane-cli alike; the program's folder when there
// is no config folder at all.
std::string UserFolder(const std::string& programFolder) {
    std::string folder = platform::AppDataFolderOf(TOptionFile::UserFolderName, true);
    return folder.empty() ? programFolder : folder;
}

} // namespace

TOptionFile::TOptionFile(const std::string& fileName, const std::string& appFolder)
    : FUserIni(UserFolder(ProgramFolder(appFolder)) + fileName) {
    const std::string appPath = ProgramFolder(appFolder) + fileName;
    if (platform::FileExists(appPath)) {
        FAppIni = std::make_unique<platform::TIniFile>(appPath);
    }
    const std::string former = platform::AppDataFolderOf(FormerCliFolderName, false);
    if (!former.empty() && platform::FileExists(former + fileName) &&
        former + fileName != FUserIni.FileName()) {
        FFormerIni = std::make_unique<platform::TIniFile>(former + fileName);
    }
}

std::string TOptionFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue) const {
    std::string value = defaultValue;
    if (FAppIni) {
        value = FAppIni->ReadString(section, key, value);
    }
    if (FFormerIni) {
        value = FFormerIni->ReadString(section, key, value);
    }
    return FUserIni.ReadString(section, key, value);
}

std::optional<std::string> TOptionFile::FindInUserFile(const std::string& section,
                                                       const std::string& key) const {
    return FUserIni.Find(section, key);
}

std::optional<std::string> TOptionFile::FindInFormerFile(const std::string& section,
                                                         const std::string& key) const {
    return FFormerIni ? FFormerIni->Find(section, key) : std::nullopt;
}

bool TOptionFile::WriteString(const std::string& section, const std::string& key,
                              const std::string& value) {
    return FUserIni.WriteString(section, key, value);
}

std::string TOptionFile::WriteErrorText() const {
    return "Unable to write to " + FUserIni.FileName();
}

} // namespace torvane
