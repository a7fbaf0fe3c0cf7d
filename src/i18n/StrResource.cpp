#include "i18n/StrResource.h"

#include "i18n/PackData.h"
#include "i18n/StrRes.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/Host.h"

#include <cstdlib>

namespace torvane {

TfrmStrRes::TfrmStrRes(std::string programFileName) {
    if (!programFileName.empty()) {
        SetProgramFileName(programFileName);
    }
    (void)ReadStoreForm(EmbeddedPackStoreForm(), SkinStore1);
    FormCreate();
}

TfrmStrRes::~TfrmStrRes() {
    FormDestroy();
}

void TfrmStrRes::FormCreate() {
    const std::string temp = platform::TempFolder();
    const std::string program = ProgramFileName();
    if (temp.empty()) {
        FError = "Cannot use the temporary folder " + platform::TempFolderBase() +
                 ": it is not a private folder of this user.";
        platform::Host().MessageBox(FError, program, platform::MB_ICONERROR);
        return;
    }
    FLanguageDir = temp + program + "/";
    // Every copy of the program holds this lock shared while it uses the packs; the last
    // one to end deletes them (see FormDestroy). Waiting here also keeps a copy from
    // writing packs while an ending copy deletes the folder.
    if (FUseLock.Open(temp + program + ".lock")) {
        (void)FUseLock.LockShared();
    }
    SetLanguageDir(FLanguageDir);
    ClearStrResCache();
    ReleaseLangIniFile();
    (void)platform::ForceFolder(FLanguageDir);
    const TSkinCollection& items = SkinStore1.Store();
    for (int i = 0; i < items.Count(); ++i) {
        const TSkinCollectionItem& item = items.Item(i);
        const std::string path = FLanguageDir + PackFileStem() + item.Name();
        // Written through a temporary file and a rename: a running copy reading the same
        // pack sees the old or the new bytes, never a half-written file.
        if (!platform::WriteFileAtomic(path, item.Data())) {
            FError = "Cannot create file \"" + path + "\". " + platform::LastErrorText();
            platform::Host().MessageBox(FError, program, platform::MB_ICONERROR);
            return;
        }
    }
    FWritten = true;
}

void TfrmStrRes::DeletePackFolder() {
    if (!FLanguageDir.empty() && (!FUseLock.IsOpen() || FUseLock.TryLockExclusive())) {
        platform::DeleteFolder(FLanguageDir, true);
    }
}

void TfrmStrRes::FormDestroy() {
    ReleaseLangIniFile();
    ClearStrResCache();
    DeletePackFolder();
    FUseLock.Close();
    SetLanguageDir("");
    SetCurrentLanguage("en");
}

} // namespace torvane
