#pragma once
// Folder-tree chores with the rules the tool has always followed: creating every missing
// level, deleting a tree (never through a symbolic link), and finding files by masks.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace torvane::platform {

// True when the folder exists afterwards. An empty path counts as existing. Every level
// named by a "/" is created (failures ignored), then the whole path.
bool ForceFolder(const std::string& path);

// Deletes everything inside folder and, with removeFolder, the folder itself. A symbolic
// link is removed as a link: what it points to is never touched. Stops quietly at the first
// error. An empty name does nothing.
void DeleteFolder(const std::string& folder, bool removeFolder);

struct TFoundFile {
    std::string Path;
    std::int64_t ModifiedTime = 0;
};

// Appends the files of folder that match one of the masks (split at ";" when the text has
// one, else at "|"; "*" and "?" wildcards, ASCII case ignored, "*.*" matches every name).
// Folders are never listed. With skipDuplicates, a path already in the list (ASCII case
// ignored) is not added again. With recurse, and when continueSearch is absent or returns
// true, subfolders are searched the same way (links to folders are not followed).
void FindFiles(std::vector<TFoundFile>& list, const std::string& folder, bool skipDuplicates,
               const std::function<bool()>& continueSearch, bool recurse,
               const std::string& masks);

// The wildcard match used by FindFiles.
[[nodiscard]] bool MatchesMask(std::string_view name, std::string_view mask);

} // namespace torvane::platform

namespace torvane::platform {

// Fresh names: a new, empty file named "." + stem (cut to 200 bytes) + "." + a part that
// no other call, process or run repeats + suffix, created exclusively and never through a
// link (O_CREAT | O_EXCL | O_NOFOLLOW), so nothing planted under a name can redirect what
// is written. Returns the open descriptor (write-only, close-on-exec; the caller closes
// it) or -1 with errno set.
[[nodiscard]] int CreateFreshFileAt(int dirFd, const std::string& stem, const std::string& suffix,
                                    std::string& name, unsigned mode = 0666);
// The same in path's folder, named after path's file name; freshPath is its full path.
[[nodiscard]] int CreateFreshFileBeside(const std::string& path, const std::string& suffix,
                                        std::string& freshPath, unsigned mode = 0666);

// Removes whatever has the name: a file or a link is unlinked (what a link points to is
// never touched), a folder is deleted with everything in it. True when nothing is left.
bool RemovePath(const std::string& path);

// Renames from to to, replacing whatever is in the way: a file or a link is replaced in
// one step, a folder is removed first. 0 when done; otherwise the system's error, and from
// is left as it is.
[[nodiscard]] int ReplacePath(const std::string& from, const std::string& to);

} // namespace torvane::platform

namespace torvane::platform {

// The per-user folder of a program: ConfigFolder() + the program file's name without a
// three-letter extension + "/" (always with the separator), created when create is set.
// Empty when there is no config folder.
[[nodiscard]] std::string AppDataFolderOf(const std::string& programFileName, bool create);

} // namespace torvane::platform
