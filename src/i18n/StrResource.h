#pragma once
// The holder of the built-in language packs. Creating it writes the packs into the
// language folder (a folder named after the program inside the private temporary folder);
// destroying it deletes them again, unless another running copy of the same program still
// uses them.

#include "i18n/WinSkinStore.h"
#include "platform/InstanceLock.h"

#include <string>

namespace torvane {

class TfrmStrRes {
public:
    // programFileName: the name the pack folder and files are made from; empty means the
    // running program file's name.
    explicit TfrmStrRes(std::string programFileName = {});
    ~TfrmStrRes();
    TfrmStrRes(const TfrmStrRes&) = delete;
    TfrmStrRes& operator=(const TfrmStrRes&) = delete;

    TSkinStore SkinStore1;

    // True when every pack was written.
    [[nodiscard]] bool PacksWritten() const { return FWritten; }
    // Why the packs could not be written (shown to the user in an error box too).
    [[nodiscard]] const std::string& ErrorText() const { return FError; }
    // The language folder, with its trailing "/"; empty when none was made.
    [[nodiscard]] const std::string& LanguageFolder() const { return FLanguageDir; }

    // Deletes the language folder unless another running copy still uses it, as the
    // holder's end does. It touches files only, never the lookup's state, so a program
    // that is being ended by a signal may call it from any thread while lookups go on
    // (they then find no pack). The caller keeps the holder alive meanwhile.
    void DeletePackFolder();

private:
    void FormCreate();
    void FormDestroy();

    std::string FLanguageDir;
    platform::TFileLock FUseLock;
    bool FWritten = false;
    std::string FError;
};

} // namespace torvane
