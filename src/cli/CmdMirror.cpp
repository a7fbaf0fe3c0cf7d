// torvane-cli mirror: copies the firmware source's catalogues and packages into a folder in
// the same layout (upgrade/Mirror.h), so that the folder serves upgrades where there is no
// network: `upgrade --server DIR`.

#include "cli/Checks.h"
#include "cli/Commands.h"
#include "cli/SharedOptions.h"
#include "discovery/DevInfoJson.h"
#include "i18n/Deployment.h"
#include "i18n/StrResource.h"
#include "platform/EnumTable.h"
#include "platform/Json.h"
#include "upgrade/Mirror.h"

#include <iostream>

namespace torvane::cli {

namespace {

using platform::JsonArray;

std::string PathOf(const TMirrorItem& item) {
    return item.Folder + "/" + item.File;
}

// Why a file was refused, in the JSON events; the last row serves EMirrorRefusal::None.
constexpr platform::TEnumText<EMirrorRefusal> RefusalNames[] = {
    {EMirrorRefusal::Md5Mismatch, "md5-mismatch"},
    {EMirrorRefusal::NoMd5, "no-md5"},
    {EMirrorRefusal::BadName, "bad-name"},
    {EMirrorRefusal::None, ""},
};

// One event as a JSON object on one line; empty for events JSON leaves out.
std::string JsonOf(const TMirrorItem& item) {
    const std::string where =
        "\"folder\":" + JsonString(item.Folder) + ",\"file\":" + JsonString(item.File);
    switch (item.Event) {
    case EMirrorEvent::Copied:
    case EMirrorEvent::Unchanged:
        return std::string("{\"event\":\"") +
               (item.Event == EMirrorEvent::Copied ? "copied" : "unchanged") + "\"," + where +
               ",\"md5\":" + JsonString(item.Md5) + ",\"bytes\":" + std::to_string(item.Bytes) +
               "}";
    case EMirrorEvent::Refused: {
        std::string out = "{\"event\":\"refused\"," + where + ",\"reason\":\"" +
                          platform::RowFor(RefusalNames, item.Refusal).Text + "\"";
        if (item.Refusal == EMirrorRefusal::Md5Mismatch) {
            out += ",\"md5\":" + JsonString(item.Md5) +
                   ",\"actual_md5\":" + JsonString(item.ActualMd5);
        }
        return out + "}";
    }
    case EMirrorEvent::Failed:
        return "{\"event\":\"failed\"," + where + ",\"error\":" + JsonString(item.Text) + "}";
    case EMirrorEvent::Catalogue:
        return "{\"event\":\"catalogue\"," + where +
               ",\"sections\":" + std::to_string(item.Sections) +
               ",\"left_out\":" + JsonArray(item.LeftOut) +
               ",\"kept_earlier\":" + JsonArray(item.KeptEarlier) + "}";
    case EMirrorEvent::Fetching:
        break;
    }
    return {};
}

// The lines of one event in words; under -q only what went wrong.
std::vector<std::string> LinesOf(const TMirrorItem& item, bool quiet) {
    std::vector<std::string> lines;
    const std::string path = PathOf(item);
    switch (item.Event) {
    case EMirrorEvent::Copied:
        if (!quiet) {
            lines.push_back(Text({"IDS_CLI_MIRROR_COPIED", {path, std::to_string(item.Bytes)}}));
        }
        break;
    case EMirrorEvent::Unchanged:
        if (!quiet) {
            lines.push_back(Text({"IDS_CLI_MIRROR_UNCHANGED", {path}}));
        }
        break;
    case EMirrorEvent::Refused:
        switch (item.Refusal) {
        case EMirrorRefusal::Md5Mismatch:
            lines.push_back(
                Text({"IDS_CLI_MIRROR_MD5MISMATCH", {path, item.ActualMd5, item.Md5}}));
            break;
        case EMirrorRefusal::NoMd5:
            lines.push_back(Text({"IDS_CLI_MIRROR_NOMD5", {path}}));
            break;
        case EMirrorRefusal::BadName:
        case EMirrorRefusal::None:
            lines.push_back(Text({"IDS_CLI_MIRROR_BADNAME", {path}}));
            break;
        }
        break;
    case EMirrorEvent::Failed:
        lines.push_back(Text({"IDS_CLI_MIRROR_FAILED", {path, item.Text}}));
        break;
    case EMirrorEvent::Catalogue:
        for (const std::string& section : item.KeptEarlier) {
            lines.push_back(Text({"IDS_CLI_MIRROR_KEPTEARLIER", {path, section}}));
        }
        for (const std::string& section : item.LeftOut) {
            lines.push_back(Text({"IDS_CLI_MIRROR_LEFTOUT", {path, section}}));
        }
        if (!quiet) {
            lines.push_back(
                Text({"IDS_CLI_MIRROR_CATALOGUE", {path, std::to_string(item.Sections)}}));
        }
        break;
    case EMirrorEvent::Fetching:
        break;
    }
    return lines;
}

int RunMirror(const TCommandContext& context) {
    const TParsedArgs& args = context.Args;
    if (args.Has("server")) {
        SetFirmwareServerUrl(args.Get("server", ""));
    }
    const TFirmwareSource source = FirmwareSource();
    if (source.Kind == EFirmwareSourceKind::Invalid) {
        PrintUsageError({"IDS_CLI_BADSETTING", {ServerSettingKey, source.Setting}}, "mirror");
        return ExitUsage;
    }
    if (!context.Packs.PacksWritten()) {
        PrintError({"IDS_CLI_PACKSNOTWRITTEN", {context.Packs.ErrorText()}});
        return ExitFailed;
    }
    const std::string destination = args.Get("to", "");
    const std::vector<std::string> oems = args.GetAll("oem");
    std::string folders = TMirror::SystemFolder;
    for (const std::string& oem : oems) {
        folders += " " + oem;
    }
    PrintTrace({"IDS_CLI_TRACE_MIRROR", {source.Location, destination, folders}});

    const bool json = args.Has("json");
    const bool quiet = Verbosity() == TVerbosity::Quiet;
    TMirror mirror(source, destination, oems);
    const TMirrorResult result = mirror.Run([&](const TMirrorItem& item) {
        if (item.Event == EMirrorEvent::Fetching) {
            PrintTrace({"IDS_CLI_TRACE_FETCHING", {PathOf(item)}});
            return;
        }
        if (json) {
            const bool bad = item.Event == EMirrorEvent::Refused ||
                             item.Event == EMirrorEvent::Failed ||
                             (item.Event == EMirrorEvent::Catalogue && !item.LeftOut.empty());
            if (!quiet || bad) {
                std::cout << JsonOf(item) << "\n";
            }
        } else {
            for (const std::string& line : LinesOf(item, quiet)) {
                std::cout << line << "\n";
            }
        }
        std::cout << std::flush;
    });

    switch (result.Start) {
    case EMirrorStart::NoFolder:
        PrintError({"IDS_CLI_MIRROR_NOFOLDER", {result.StartText}});
        return ExitFailed;
    case EMirrorStart::Busy:
        PrintError({"IDS_CLI_MIRROR_BUSY", {destination}});
        return ExitFailed;
    case EMirrorStart::Ok:
        break;
    }
    const std::string counts[] = {std::to_string(result.Copied), std::to_string(result.Unchanged),
                                  std::to_string(result.Refused), std::to_string(result.Failed)};
    if (json) {
        std::cout << "{\"event\":\"done\",\"destination\":" << JsonString(destination)
                  << ",\"copied\":" << counts[0] << ",\"unchanged\":" << counts[1]
                  << ",\"refused\":" << counts[2] << ",\"failed\":" << counts[3]
                  << ",\"left_out\":" << result.SectionsLeftOut
                  << ",\"complete\":" << (result.Complete() ? "true" : "false") << "}\n";
    } else {
        std::cout << Text({result.Complete() ? "IDS_CLI_MIRROR_COMPLETE"
                                             : "IDS_CLI_MIRROR_INCOMPLETE",
                           {counts[0], counts[1], counts[2], counts[3], destination}})
                  << "\n";
    }
    std::cout << std::flush;
    return result.Complete() ? ExitOk : ExitFailed;
}

} // namespace

TCommandSpec MirrorCommand() {
    TCommandSpec c = NewCommand(
        "mirror", "copy the firmware catalogues and packages into a folder, for sites offline", R"(
        Copies the system catalogue of the firmware source and every package it names, and for each
        --oem that OEM's UI catalogue and its packages, into DIR in the layout of the firmware
        server: DIR/system/firmware.txt, DIR/system/PACKAGE, DIR/oem/... Carried to a site, DIR
        serves upgrades with no network at all: upgrade --server DIR.

        Each package's MD5 is checked against its catalogue; one that does not match is reported and
        not kept. Every file is written under a fresh name and renamed into place once checked, and
        each catalogue copy is written last, naming only the sections whose package is in DIR, so a
        mirror that stopped half-way never names a package that is not there (a section whose new
        package could not be had keeps its earlier entry while that entry's package is still in
        DIR). A second run fetches only what is missing or changed: a package whose copy in DIR
        already has the catalogue's MD5 is not fetched again. Packages that the catalogues no longer
        name are left in DIR.

        Prints one line for each package copied, unchanged, refused or failed, and a last line with
        the counts. Exit status 0 only when every catalogue and every package it names was copied
        (or was there already) and checked.
    )");
    c.Options = {
        ServerOption("where to copy from: the firmware server's base URL (http:// or "
                     "https://), or a file:// URL or a folder with the same layout"),
        {.Long = "to",
         .Value = "DIR",
         .Help = "the mirror's folder, made when missing",
         .Required = true,
         .Complete = TComplete::Folders,
         .Check = CheckFolder()},
        {.Long = "oem",
         .Value = "NAME",
         .Help = "also copy the UI catalogue of this OEM name (what the cameras' oem.txt "
                 "holds; in any case) and its packages",
         .Check = CheckCatalogFolder(),
         .Repeatable = true},
        {.Long = "json",
         .Help = "print one JSON object a line: one per package and catalogue, then one "
                 "with the counts (\"event\":\"done\")"},
    };
    c.Examples = {
        "torvane-cli mirror --server https://fw.example.com/FM/ --to /mnt/usb --oem ABC",
        "torvane-cli upgrade --series F --ip 192.0.2.10 --server /mnt/usb",
    };
    c.Run = RunMirror;
    return c;
}

} // namespace torvane::cli
