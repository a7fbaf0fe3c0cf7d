#pragma once
// The settings file "option.ini", shared by the window and torvane-cli: one copy in the
// program's folder (read when present, never written) and one in the user's settings folder
// ~/.config/torvane/ (read and written), the same for both programs. A value in the user's
// file wins over the program folder's, which wins over the caller's default; an entry that
// is present counts even when its value is empty.
//
// torvane-cli used to keep its own file, ~/.config/torvane-cli/option.ini. So that nobody
// loses what is set there, that file is still read (never written), between the two: the
// user's shared file wins over it, it wins over the program folder's. torvane-cli says so
// on standard error while the old file exists.

#include "platform/IniFile.h"

#include <memory>
#include <optional>
#include <string>

namespace torvane {

class TOptionFile {
public:
    // The user's settings folder below the config folder, for every program.
    static constexpr const char* UserFolderName = "torvane";
    // torvane-cli's former folder, read as described above.
    static constexpr const char* FormerCliFolderName = "torvane-cli";

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
    // torvane-cli's former file when it exists; empty otherwise.
    [[nodiscard]] std::string FormerFileName() const {
        return FFormerIni ? FFormerIni->FileName() : "";
    }
    // The entry of one file alone; none when that file lacks it (or does not exist).
    [[nodiscard]] std::optional<std::string> FindInUserFile(const std::string& section,
                                                            const std::string& key) const;
    [[nodiscard]] std::optional<std::string> FindInFormerFile(const std::string& section,
                                                              const std::string& key) const;

private:
    std::unique_ptr<platform::TIniFile> FAppIni;
    std::unique_ptr<platform::TIniFile> FFormerIni;
    platform::TIniFile FUserIni;
};

} // namespace torvane
