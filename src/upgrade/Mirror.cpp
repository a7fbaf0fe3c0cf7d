#include "upgrade/Mirror.h"

#include "platform/File.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "platform/InstanceLock.h"
#include "platform/Text.h"
#include "upgrade/md5.h"
#include "upgrade/uIUpgrade.h"
#include "upgrade/uIUpgradeOpt.h"

#include <cerrno>
#include <map>
#include <optional>
#include <set>
#include <utility>

namespace torvane {

namespace {

// What the fresh names of the mirror end with; leftovers of an interrupted run carry them
// (a fetch in progress adds ".download").
constexpr const char* StagedSuffix = ".mirror";
constexpr const char* FetchSuffix = ".download";

// A name of the kind fresh names have: such a file is taken for a leftover and removed, so
// no package may have one.
bool IsLeftoverName(const std::string& name) {
    return platform::StartsWith(name, ".") &&
           (name.ends_with(StagedSuffix) || name.ends_with(FetchSuffix));
}

struct TLocalFile {
    std::string Md5; // empty: no plain file there
    std::uint64_t Size = 0;
};

// The MD5 of the regular file at path, never through a link; none for anything else.
TLocalFile Md5OfPlainFile(const std::string& path) {
    TLocalFile local;
    if (platform::PathKind(path) != platform::EFileKind::Regular) {
        return local;
    }
    platform::TFile file = platform::TFile::OpenPlainForReading(path);
    if (!file.IsOpen()) {
        return local;
    }
    TMd5 md5;
    std::string buffer(1 << 20, '\0');
    std::uint64_t size = 0;
    bool ok = file.Info().Regular;
    while (ok) {
        const platform::TIoResult r = file.Read(buffer.data(), buffer.size());
        if (!r.Ok() || r.Count == 0) {
            ok = r.Ok();
            break;
        }
        md5.Update(buffer.data(), r.Count);
        size += r.Count;
    }
    if (ok) {
        local.Md5 = DigestToHex(md5.Final());
        local.Size = size;
    }
    return local;
}

// A fresh, empty file beside path that is removed when the object goes, unless it was put
// in place.
class TStagedFile {
public:
    explicit TStagedFile(const std::string& path) {
        const platform::TFile file = platform::TFile::CreateFreshBeside(path, StagedSuffix, 0644);
        if (!file.IsOpen()) {
            FError = platform::ErrorText(file.OpenError());
            return;
        }
        FPath = file.FreshPath();
    }
    TStagedFile(const TStagedFile&) = delete;
    TStagedFile& operator=(const TStagedFile&) = delete;
    TStagedFile(TStagedFile&& other) noexcept
        : FPath(std::exchange(other.FPath, {})), FError(std::move(other.FError)) {}
    ~TStagedFile() {
        if (!FPath.empty()) {
            (void)platform::RemoveFile(FPath);
        }
    }
    [[nodiscard]] bool Made() const { return !FPath.empty(); }
    [[nodiscard]] const std::string& Path() const { return FPath; }
    [[nodiscard]] const std::string& Error() const { return FError; }
    // Renames the file to target (replacing what is there): 0, or the system's error.
    int PutInPlace(const std::string& target) {
        if (const int error = platform::ReplacePath(FPath, target); error != 0) {
            return error;
        }
        FPath.clear();
        return 0;
    }

private:
    std::string FPath;
    std::string FError;
};

// A name as the INI lookups compare it.
std::string NameKey(const std::string& name) {
    return platform::LowerAscii(std::string(platform::TrimBlanks(name)));
}

// The section names of a catalogue, each once, in the order they first appear.
std::vector<std::string> SectionNames(const std::vector<platform::TIniFile::TLineInfo>& lines) {
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (const auto& line : lines) {
        if (line.Header && seen.insert(NameKey(line.Section)).second) {
            names.push_back(line.Section);
        }
    }
    return names;
}

// The lines of the sections chosen (by NameKey), and the lines above the first section when
// withPreamble is set, in the file's order.
std::string LinesOf(const std::vector<platform::TIniFile::TLineInfo>& lines,
                    const std::set<std::string>& sections, bool withPreamble) {
    std::string out;
    bool inPreamble = true;
    for (const auto& line : lines) {
        inPreamble = inPreamble && !line.Header;
        const bool take = inPreamble ? withPreamble : sections.count(NameKey(line.Section)) != 0;
        if (take) {
            out += line.Text + "\r\n";
        }
    }
    return out;
}

} // namespace

struct TMirror::TImpl {
    TFirmwareSource Source;
    std::string Destination;
    std::vector<std::string> Folders;
    std::function<void(const TMirrorItem&)> Report;
    TMirrorResult Result;

    void Emit(const TMirrorItem& item) {
        switch (item.Event) {
        case EMirrorEvent::Copied:
            ++Result.Copied;
            break;
        case EMirrorEvent::Unchanged:
            ++Result.Unchanged;
            break;
        case EMirrorEvent::Refused:
            ++Result.Refused;
            break;
        case EMirrorEvent::Failed:
            ++Result.Failed;
            break;
        case EMirrorEvent::Catalogue:
            Result.SectionsLeftOut += item.LeftOut.size();
            break;
        case EMirrorEvent::Fetching:
            break;
        }
        if (Report) {
            Report(item);
        }
    }

    void Fail(const std::string& folder, const std::string& file, std::string text) {
        TMirrorItem item;
        item.Event = EMirrorEvent::Failed;
        item.Folder = folder;
        item.File = file;
        item.Text = std::move(text);
        Emit(item);
    }

    void Refuse(const std::string& folder, const std::string& file, EMirrorRefusal why,
                std::string md5 = {}, std::string actual = {}) {
        TMirrorItem item;
        item.Event = EMirrorEvent::Refused;
        item.Folder = folder;
        item.File = file;
        item.Refusal = why;
        item.Md5 = std::move(md5);
        item.ActualMd5 = std::move(actual);
        Emit(item);
    }

    void Fetching(const std::string& folder, const std::string& file) {
        TMirrorItem item;
        item.Event = EMirrorEvent::Fetching;
        item.Folder = folder;
        item.File = file;
        Emit(item);
    }

    // Files an interrupted run left behind: fresh names that were never put in place.
    static void RemoveLeftovers(const std::string& folder) {
        for (const platform::TDirEntry& e : platform::ListFolder(folder)) {
            if (!e.IsFolder && IsLeftoverName(e.Name)) {
                (void)platform::RemoveFile(folder + e.Name);
            }
        }
    }

    void MirrorFolder(const std::string& folder);
};

namespace {

// What one package of a catalogue needs.
struct TPackage {
    std::string Name;
    std::set<std::string> Md5s; // of the sections naming it, lower case, non-empty
};

} // namespace

void TMirror::TImpl::MirrorFolder(const std::string& folder) {
    if (folder.empty() || !IsSafeCatalogFolder(folder)) {
        Refuse(folder, CatalogFileName, EMirrorRefusal::BadName);
        return;
    }
    const std::string dir = Destination + folder + "/";
    if (const platform::EFileKind kind = platform::PathKind(Destination + folder);
        kind != platform::EFileKind::Unknown && kind != platform::EFileKind::Folder) {
        // A link or a file in the folder's place: it is not ours to replace.
        Fail(folder, CatalogFileName, dir + ": " + platform::ErrorText(ENOTDIR));
        return;
    }
    if (!platform::MakeFolder(Destination + folder)) {
        Fail(folder, CatalogFileName, dir + ": " + platform::LastErrorText());
        return;
    }
    RemoveLeftovers(dir);

    // The catalogue, fetched first and put in place last.
    const std::string cataloguePath = dir + CatalogFileName;
    TStagedFile stagedCatalogue(cataloguePath);
    if (!stagedCatalogue.Made()) {
        Fail(folder, CatalogFileName, stagedCatalogue.Error());
        return;
    }
    Fetching(folder, CatalogFileName);
    std::string error;
    if (!TUpgradeOpt::FetchFromSource(Source, folder, CatalogFileName, stagedCatalogue.Path(),
                                      EDownloadKind::Catalog, error)) {
        Fail(folder, CatalogFileName, error);
        return;
    }
    std::string text;
    if (!platform::ReadFileBytes(stagedCatalogue.Path(), text, TUpgradeOpt::MaxCatalogBytes)) {
        Fail(folder, CatalogFileName, platform::LastErrorText());
        return;
    }
    const platform::TIniFile catalogue = platform::TIniFile::FromText(text);
    const auto lines = catalogue.LinesWithSections();
    const std::vector<std::string> sections = SectionNames(lines);
    const char* fileKey = folder == TMirror::SystemFolder ? "SysFile" : "AppFile";

    // The packages, each once, with the MD5s of the sections that name it.
    std::vector<TPackage> packages;
    std::map<std::string, std::size_t> packageIndex;
    for (const std::string& section : sections) {
        const std::string name = platform::Trim(catalogue.ReadString(section, fileKey, ""));
        if (name.empty()) {
            continue; // names no package
        }
        const std::string md5 = platform::LowerAscii(catalogue.ReadString(section, "MD5", ""));
        auto [it, added] = packageIndex.emplace(name, packages.size());
        if (added) {
            packages.push_back({name, {}});
        }
        if (!md5.empty()) {
            packages[it->second].Md5s.insert(md5);
        }
    }

    // Each package: there already with a catalogue MD5, or fetched under a fresh name and
    // checked. Nothing is put in place before every fetch of the folder has ended.
    std::map<std::string, TLocalFile> local; // by package name: what is in the folder
    struct TFetched {
        std::string Name;
        TStagedFile File;
        TLocalFile Digest;
    };
    std::vector<TFetched> fetched;
    for (const TPackage& package : packages) {
        if (!IsPlainFileName(package.Name) ||
            platform::SameTextAscii(package.Name, CatalogFileName) ||
            platform::SameTextAscii(package.Name, TMirror::LockFileName) ||
            IsLeftoverName(package.Name)) {
            Refuse(folder, package.Name, EMirrorRefusal::BadName);
            continue;
        }
        if (package.Md5s.empty()) {
            Refuse(folder, package.Name, EMirrorRefusal::NoMd5);
            continue;
        }
        const TLocalFile present = Md5OfPlainFile(dir + package.Name);
        local[package.Name] = present;
        if (package.Md5s.count(present.Md5) != 0) {
            TMirrorItem item;
            item.Event = EMirrorEvent::Unchanged;
            item.Folder = folder;
            item.File = package.Name;
            item.Md5 = present.Md5;
            item.Bytes = present.Size;
            Emit(item);
            continue;
        }
        TStagedFile staged(dir + package.Name);
        if (!staged.Made()) {
            Fail(folder, package.Name, staged.Error());
            continue;
        }
        Fetching(folder, package.Name);
        if (!TUpgradeOpt::FetchFromSource(Source, folder, package.Name, staged.Path(),
                                          EDownloadKind::Package, error)) {
            Fail(folder, package.Name, error);
            continue;
        }
        const TLocalFile got = Md5OfPlainFile(staged.Path());
        if (package.Md5s.count(got.Md5) == 0) {
            Refuse(folder, package.Name, EMirrorRefusal::Md5Mismatch, *package.Md5s.begin(),
                   got.Md5);
            continue;
        }
        fetched.push_back({package.Name, std::move(staged), got});
    }
    for (TFetched& f : fetched) {
        if (const int moved = f.File.PutInPlace(dir + f.Name); moved != 0) {
            Fail(folder, f.Name, dir + f.Name + ": " + platform::ErrorText(moved));
            continue;
        }
        local[f.Name] = f.Digest;
        TMirrorItem item;
        item.Event = EMirrorEvent::Copied;
        item.Folder = folder;
        item.File = f.Name;
        item.Md5 = f.Digest.Md5;
        item.Bytes = f.Digest.Size;
        Emit(item);
    }

    // The copy names a section when its package is in the folder with the section's MD5 (or
    // it names none). Otherwise the earlier copy's entry is kept when its own package is
    // still there and matches; failing that, the section is left out.
    std::set<std::string> fromSource;
    std::vector<std::string> leftOut;
    std::vector<std::string> keptEarlier;
    std::optional<platform::TIniFile> earlier;
    if (platform::PathKind(cataloguePath) == platform::EFileKind::Regular) {
        earlier.emplace(cataloguePath);
    }
    for (const std::string& section : sections) {
        const std::string name = platform::Trim(catalogue.ReadString(section, fileKey, ""));
        const std::string md5 = platform::LowerAscii(catalogue.ReadString(section, "MD5", ""));
        const auto it = local.find(name);
        if (name.empty() || (it != local.end() && !md5.empty() && it->second.Md5 == md5)) {
            fromSource.insert(NameKey(section));
            continue;
        }
        bool kept = false;
        if (earlier && earlier->SectionExists(section)) {
            const std::string oldName = platform::Trim(earlier->ReadString(section, fileKey, ""));
            const std::string oldMd5 =
                platform::LowerAscii(earlier->ReadString(section, "MD5", ""));
            kept = IsPlainFileName(oldName) && !oldMd5.empty() &&
                   !platform::SameTextAscii(oldName, CatalogFileName) &&
                   Md5OfPlainFile(dir + oldName).Md5 == oldMd5;
        }
        (kept ? keptEarlier : leftOut).push_back(section);
    }

    // Everything as the source has it: the source's bytes. Otherwise the sections chosen.
    if (fromSource.size() != sections.size()) {
        std::set<std::string> keptKeys;
        for (const std::string& section : keptEarlier) {
            keptKeys.insert(NameKey(section));
        }
        std::string copy = LinesOf(lines, fromSource, true);
        if (!keptKeys.empty()) {
            copy += LinesOf(earlier->LinesWithSections(), keptKeys, false);
        }
        platform::TFile file = platform::TFile::OpenForRewriting(stagedCatalogue.Path());
        int failure = file.OpenError();
        if (failure == 0) {
            failure = file.WriteAll(copy.data(), copy.size()).Error;
        }
        if (const int closed = file.Close(); failure == 0) {
            failure = closed;
        }
        if (failure != 0) {
            Fail(folder, CatalogFileName, platform::ErrorText(failure));
            return;
        }
    }
    if (const int moved = stagedCatalogue.PutInPlace(cataloguePath); moved != 0) {
        Fail(folder, CatalogFileName, cataloguePath + ": " + platform::ErrorText(moved));
        return;
    }
    TMirrorItem item;
    item.Event = EMirrorEvent::Catalogue;
    item.Folder = folder;
    item.File = CatalogFileName;
    item.Sections = fromSource.size() + keptEarlier.size();
    item.LeftOut = std::move(leftOut);
    item.KeptEarlier = std::move(keptEarlier);
    Emit(item);
}

TMirror::TMirror(TFirmwareSource source, std::string destination,
                 std::vector<std::string> oemNames)
    : FImpl(std::make_unique<TImpl>()) {
    FImpl->Source = std::move(source);
    FImpl->Destination = platform::WithTrailingSeparator(std::move(destination));
    FImpl->Folders.push_back(SystemFolder);
    for (const std::string& oem : oemNames) {
        const std::string folder = platform::LowerAscii(oem);
        bool seen = false;
        for (const std::string& f : FImpl->Folders) {
            seen = seen || f == folder;
        }
        if (!seen) {
            FImpl->Folders.push_back(folder);
        }
    }
}

TMirror::~TMirror() = default;

TMirrorResult TMirror::Run(const std::function<void(const TMirrorItem&)>& report) {
    FImpl->Report = report;
    FImpl->Result = {};
    TMirrorResult& result = FImpl->Result;
    const std::string& destination = FImpl->Destination;
    if (destination.empty() || !platform::ForceFolder(destination)) {
        result.Start = EMirrorStart::NoFolder;
        result.StartText = destination + ": " + platform::LastErrorText();
        return result;
    }
    // One mirror at a time writes into a folder: each removes what an interrupted run left,
    // which would otherwise be another's files in the middle of their fetch.
    const std::string lockPath = destination + LockFileName;
    platform::TFileLock lock;
    if (!lock.Open(lockPath)) {
        result.Start = EMirrorStart::NoFolder;
        result.StartText = lockPath + ": " + platform::ErrorText(lock.OpenError());
        return result;
    }
    if (const int error = lock.TryLockExclusiveError(); error != 0) {
        result.Start = error == EWOULDBLOCK ? EMirrorStart::Busy : EMirrorStart::NoFolder;
        result.StartText = lockPath + ": " + platform::ErrorText(error);
        return result;
    }
    for (const std::string& folder : FImpl->Folders) {
        FImpl->MirrorFolder(folder);
    }
    return result;
}

} // namespace torvane
