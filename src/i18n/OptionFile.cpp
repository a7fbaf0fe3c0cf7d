#include "i18n/OptionFile.h"

#include "i18n/StrRes.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"

namespace torvane {

namespace {

std::string ProgramFolder(const std::string& appFolder) {
    return appFolder.empty() ? platform::FolderOf(platform::ModulePath())
                             : platform::WithTrailingSeparator(appFolder);
}

std::string UserFolder(const std::string& appFolder) {
    std::string folder = platform::AppDataFolderOf(ProgramFileName(), true);
    return folder.empty() ? appFolder : folder;
}

} // namespace

TOptionFile::TOptionFile(const std::string& fileName, const std::string& appFolder)
    : FUserIni(UserFolder(ProgramFolder(appFolder)) + fileName) {
    const std::string appPath = ProgramFolder(appFolder) + fileName;
    if (platform::FileExists(appPath)) {
        FAppIni = std::make_unique<platform::TIniFile>(appPath);
    }
}

std::string TOptionFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue) const {
    std::string value = defaultValue;
    if (FAppIni) {
        value = FAppIni->ReadString(section, key, value);
    }
    return FUserIni.ReadString(section, key, value);
}

bool TOptionFile::WriteString(const std::string& section, const std::string& key,
                              const std::string& value) {
    return FUserIni.WriteString(section, key, value);
}

std::string TOptionFile::WriteErrorText() const {
    return "Unable to write to " + FUserIni.FileName();
}

} // namespace torvane
