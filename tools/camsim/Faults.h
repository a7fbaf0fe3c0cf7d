#pragma once

#include "FirmwareKind.h"

#include <string>
#include <string_view>

namespace camsim {

enum class EFault {
    RefuseLogin, // every authenticated page answers 401 "Unauthorized"
    Unreachable, // the camera never listens
    Upload500,   // the upload CGI answers 500 Internal Server Error
    NoReturn,    // after an accepted upload the camera goes down and stays down
    BadMd5,      // the catalogue's MD5 for this camera's package is wrong
    BadZip,      // the package is not a ZIP archive (its MD5 in the catalogue is right)
    Excluded,    // the catalogue's NO value lists the version the camera runs
    UploadTrickle,  // the upload's reply starts and then trickles in a byte at a time, never ending
    CtpByteByByte,  // E: every CTP answer and reply goes out one byte per TCP segment
    CtpProgress,    // E: "Progress: 50" follows each "REPLY Continue" line, in the same send
    CtpMuteLogin,   // E: the CTP login is read and never answered
    KeepOld,        // after an accepted upload the camera restarts on the version it ran before
    HideVersion,    // after an upload and its restart the camera's pages carry no version
};

// The faults switched on for one camera. The upload and catalogue faults may be limited
// to one firmware kind ("bad-md5:ui"); without a kind they hit both.
class TFaultSet {
public:
    // "upload-500", "excluded:sys", ...; throws TUsageError for unknown names or a kind
    // on a fault that has none.
    void Add(std::string_view text);
    [[nodiscard]] bool Has(EFault fault) const;
    [[nodiscard]] bool Has(EFault fault, EFirmwareKind kind) const;
    // "none" or "refuse-login, bad-md5:ui"
    [[nodiscard]] std::string Text() const;

    // For --help.
    [[nodiscard]] static std::string Names();

private:
    static constexpr int KindCount = 2;
    static constexpr int FaultCount = 13;
    bool FOn[FaultCount][KindCount] = {};
};

} // namespace camsim
