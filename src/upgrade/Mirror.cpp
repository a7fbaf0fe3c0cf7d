#include "upgrade/Mirror.h"

#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "platform/Text.h"
#include "upgrade/md5.h"
#include "upgrade/uIUpgrade.h"
#include "upgrade/uIUpgradeOpt.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <optional>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
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
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return local;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return local;
    }
    TMd5 md5;
    std::string buffer(1 << 20, '\0');
    std::uint64_t size = 0;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    while (ok) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        md5.Update(buffer.data(), static_cast<std::size_t>(n));
        size += static_cast<std::uint64_t>(n);
    }
    ::close(fd);
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
        const int fd = platform::CreateFreshFileBeside(path, StagedSuffix, FPath, 0644);
        if (fd < 0) {
            FError = platform::LastErrorText();
            FPath.clear();
            return;
        }
        ::close(fd);
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
    // Renames the file to target (replacing what is there); false with errno set.
    bool PutInPlace(const std::string& target) {
        if (!platform::ReplacePath(FPath, target)) {
            return false;
        }
        FPath.clear();
        return true;
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

bool WriteWhole(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
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
    struct stat st {};
    if (::lstat((Destination + folder).c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
        // A link or a file in the folder's place: it is not ours to replace.
        Fail(folder, CatalogFileName, dir + ": " + std::strerror(ENOTDIR));
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
        if (!f.File.PutInPlace(dir + f.Name)) {
            Fail(folder, f.Name, dir + f.Name + ": " + platform::LastErrorText());
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
    if (::lstat(cataloguePath.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
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
        const int fd = ::open(stagedCatalogue.Path().c_str(),
                              O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
        const bool written = fd >= 0 && WriteWhole(fd, copy);
        const std::string why = platform::LastErrorText();
        if (fd >= 0) {
            ::close(fd);
        }
        if (!written) {
            Fail(folder, CatalogFileName, why);
            return;
        }
    }
    if (!stagedCatalogue.PutInPlace(cataloguePath)) {
        Fail(folder, CatalogFileName, cataloguePath + ": " + platform::LastErrorText());
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
    const int lock =
        ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (lock < 0) {
        result.Start = EMirrorStart::NoFolder;
        result.StartText = lockPath + ": " + platform::LastErrorText();
        return result;
    }
    if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(lock);
        result.Start = error == EWOULDBLOCK ? EMirrorStart::Busy : EMirrorStart::NoFolder;
        result.StartText = lockPath + ": " + std::strerror(error);
        return result;
    }
    for (const std::string& folder : FImpl->Folders) {
        FImpl->MirrorFolder(folder);
    }
    ::close(lock);
    return result;
}

} // namespace torvane
