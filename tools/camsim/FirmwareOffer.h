#pragma once

#include "FirmwareKind.h"

#include <string>

namespace camsim {

// What one camera wants the firmware server to offer for one firmware kind: a catalogue
// section in a folder, and the firmware file that goes into its package.
struct TFirmwareOffer {
    EFirmwareKind Kind = EFirmwareKind::System;
    std::string Folder;        // "system", or the camera's OEM name in lower case
    std::string Section;       // catalogue section; empty: the camera cannot be offered anything
    std::string SectionNote;   // why the section is empty
    std::string Version;       // the offered version (SysVer / AppVer)
    std::string PackagePrefix; // start of the package file name, e.g. "f-sys"
    std::string Image;         // the firmware file
    std::string FileExtension = ".bin"; // of the firmware file's name inside the package
    std::string ExcludedVersion; // for the "excluded" fault: the version the tool will read
    bool BadMd5 = false;
    bool BadZip = false;
    std::string Owner;         // the camera, for messages
};

} // namespace camsim
