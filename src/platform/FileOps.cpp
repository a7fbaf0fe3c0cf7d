#include "platform/FileOps.h"

#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "platform/Text.h"

#include <sys/stat.h>

namespace torvane::platform {

bool ForceFolder(const std::string& path) {
    if (path.empty() || FolderExists(path)) {
        return true;
    }
    for (std::size_t pos = path.find('/', 1); pos != std::string::npos;
         pos = path.find('/', pos + 1)) {
        (void)MakeFolder(path.substr(0, pos));
    }
    if (path.back() != '/') {
        (void)MakeFolder(path);
    }
    return FolderExists(path);
}

void DeleteFolder(const std::string& folder, bool removeFolder) {
    if (folder.empty()) {
        return;
    }
    std::string bare = folder;
    while (bare.size() > 1 && bare.back() == '/') {
        bare.pop_back();
    }
    if (IsSymbolicLink(bare)) {
        // Never walk into a link: remove the link itself when asked to remove the folder.
        if (removeFolder) {
            (void)RemoveFile(bare);
        }
        return;
    }
    const std::string prefix = bare + "/";
    for (const TDirEntry& e : ListFolder(prefix)) {
        const std::string path = prefix + e.Name;
        if (e.IsFolder && !e.IsLink) {
            // A read-only folder cannot have its entries removed: make it writable first.
            (void)::chmod(path.c_str(), 0700);
            DeleteFolder(path, true);
            if (FolderExists(path) && !IsSymbolicLink(path)) {
                return;
            }
        } else if (!RemoveFile(path)) {
            return;
        }
    }
    if (removeFolder) {
        (void)RemoveFolder(bare);
    }
}

bool MatchesMask(std::string_view name, std::string_view mask) {
    if (mask == "*.*" || mask == "*") {
        return true;
    }
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    // Iterative glob with one backtrack point per "*".
    std::size_t n = 0;
    std::size_t m = 0;
    std::size_t starM = std::string_view::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || fold(mask[m]) == fold(name[n]))) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starM = m++;
            starN = n;
        } else if (starM != std::string_view::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') {
        ++m;
    }
    return m == mask.size();
}

void FindFiles(std::vector<TFoundFile>& list, const std::string& folder, bool skipDuplicates,
               const std::function<bool()>& continueSearch, bool recurse,
               const std::string& masks) {
    if (folder.empty()) {
        return;
    }
    const std::string base = WithTrailingSeparator(folder);
    std::vector<std::string> maskList;
    SplitText(masks, Contains(masks, ";") ? ";" : "|", maskList);
    const std::vector<TDirEntry> entries = ListFolder(base);
    for (const std::string& mask : maskList) {
        for (const TDirEntry& e : entries) {
            if (e.IsFolder || !MatchesMask(e.Name, mask)) {
                continue;
            }
            if (e.IsLink && !FileExists(base + e.Name)) {
                continue; // a link to a folder or to nothing is no file
            }
            const std::string path = base + e.Name;
            if (skipDuplicates) {
                bool seen = false;
                for (const TFoundFile& f : list) {
                    if (SameTextAscii(f.Path, path)) {
                        seen = true;
                        break;
                    }
                }
                if (seen) {
                    continue;
                }
            }
            list.push_back({path, e.ModifiedTime});
        }
    }
    if (recurse && (!continueSearch || continueSearch())) {
        for (const TDirEntry& e : entries) {
            if (e.IsFolder && !e.IsLink) {
                FindFiles(list, base + e.Name + "/", true, nullptr, true, masks);
            }
        }
    }
}

} // namespace torvane::platform

namespace torvane::platform {

std::string AppDataFolderOf(const std::string& programFileName, bool create) {
    const std::string special = ConfigFolder();
    if (special.empty()) {
        return {};
    }
    std::string name = programFileName;
    if (name.size() > 4 && name[name.size() - 4] == '.') {
        name.resize(name.size() - 4);
    }
    // Without a separator the settings file would land beside the folder, not in it.
    const std::string folder = WithTrailingSeparator(special + name);
    if (create) {
        (void)ForceFolder(folder);
    }
    return folder;
}

} // namespace torvane::platform
