#pragma once
// The firmware mirror: copies the system catalogue of a firmware source, the UI catalogues
// of the OEM names asked for, and every package they name into a folder of this machine, in
// the same layout, so that the folder serves upgrades with no network at all (the folder
// is then the firmware source). torvane-cli mirror runs it; it belongs to the engine so
// that the window can run it too.
//
// What a mirror folder holds is always consistent: a package is kept only when its MD5
// equals its catalogue's, every file is fetched under a fresh name and renamed into place
// once checked, and a catalogue copy is written last, through a rename, naming only
// sections whose package is there with that MD5. A section whose new package could not be
// had (refused, or the source went away half-way) keeps its entry of the earlier copy
// when that entry's package is still there and matches; otherwise it is left out. A second
// run fetches only what is missing or changed: a package whose local file already has the
// catalogue's MD5 is not fetched again.

#include "i18n/Deployment.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace torvane {

enum class EMirrorEvent {
    Fetching,  // a file is being fetched (File), for a progress line
    Copied,    // a package was fetched, matched its catalogue's MD5 and is in place
    Unchanged, // a package was there already with the catalogue's MD5: nothing fetched
    Refused,   // a catalogue entry that cannot be mirrored (Refusal); nothing of it kept
    Failed,    // a catalogue or a package could not be fetched or put in place (Text)
    Catalogue, // a catalogue copy was written (Sections, LeftOut, KeptEarlier)
};

enum class EMirrorRefusal {
    None,
    Md5Mismatch, // the package's MD5 (ActualMd5) is not the catalogue's (Md5)
    NoMd5,       // the catalogue gives no MD5 for the package
    BadName,     // a file or folder name that would leave its folder, or clash with the
                 // catalogue's own name
};

struct TMirrorItem {
    EMirrorEvent Event = EMirrorEvent::Fetching;
    std::string Folder;      // the catalogue folder: "system" or an OEM's (lower case)
    std::string File;        // the package's name, or firmware.txt
    std::string Md5;         // packages: the catalogue's MD5 (lower case)
    std::string ActualMd5;   // Md5Mismatch: the MD5 of what came
    std::uint64_t Bytes = 0; // Copied, Unchanged: the package's size
    EMirrorRefusal Refusal = EMirrorRefusal::None;
    std::string Text;        // Failed: the reason, in the current language where it has one
    // Catalogue: how many sections the copy holds, those left out (their package is not in
    // the mirror) and those taken from the earlier copy instead of the source.
    std::size_t Sections = 0;
    std::vector<std::string> LeftOut;
    std::vector<std::string> KeptEarlier;
};

// Why a mirror could not start at all.
enum class EMirrorStart {
    Ok,
    NoFolder, // the destination cannot be made (StartText: the system's words)
    Busy,     // another mirror is writing into the destination
};

struct TMirrorResult {
    EMirrorStart Start = EMirrorStart::Ok;
    std::string StartText;
    std::size_t Copied = 0;
    std::size_t Unchanged = 0;
    std::size_t Refused = 0;
    std::size_t Failed = 0;
    std::size_t SectionsLeftOut = 0;
    // Everything named was copied (or was there already) and checked, and every catalogue
    // copy names all of its source's sections.
    [[nodiscard]] bool Complete() const {
        return Start == EMirrorStart::Ok && Refused == 0 && Failed == 0 && SectionsLeftOut == 0;
    }
};

class TMirror {
public:
    // The name of the lock file in the destination, held while a mirror writes there.
    static constexpr const char* LockFileName = ".torvane-mirror.lock";
    // The system catalogue's folder.
    static constexpr const char* SystemFolder = "system";

    // destination: the mirror's folder (made with every missing level). oemNames: the OEM
    // names whose UI catalogues are mirrored besides the system catalogue, in any case (the
    // folder is the name in lower case, as for a camera).
    TMirror(TFirmwareSource source, std::string destination, std::vector<std::string> oemNames);
    ~TMirror();
    TMirror(const TMirror&) = delete;
    TMirror& operator=(const TMirror&) = delete;

    // Mirrors the system folder, then each OEM folder in the order given (each once).
    // report is called on this thread for every event, in order.
    TMirrorResult Run(const std::function<void(const TMirrorItem&)>& report);

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

} // namespace torvane
