#pragma once
// The settings file "option.ini": one copy in the program's folder (read when present,
// never written) and one in the user's own folder (read and written). A value in the
// user's file wins over the program folder's, which wins over the caller's default; an
// entry that is present counts even when its value is empty.

#include "platform/IniFile.h"

#include <memory>
#include <string>

namespace torvane {

class TOptionFile {
public:
    // appFolder: the program's folder (the running program's folder when empty).
    explicit TOptionFile(const std::string& fileName, const std::string& appFolder = {});

    [[nodiscard]] std::string ReadString(const std::string& section, const std::string& key,
                                         const std::string& defaultValue) const;
    // Writes into the user's file at once. False when that file cannot be written; then
    // WriteErrorText() gives "Unable to write to <path>".
    [[nodiscard]] bool WriteString(const std::string& section, const std::string& key,
                                   const std::string& value);
    [[nodiscard]] std::string WriteErrorText() const;

    [[nodiscard]] std::string AppFileName() const { return FAppIni ? FAppIni->FileName() : ""; }
    [[nodiscard]] const std::string& UserFileName() const { return FUserIni.FileName(); }

private:
    std::unique_ptr<platform::TIniFile> FAppIni;
    platform::TIniFile FUserIni;
};

} // namespace torvane
