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

// The per-user folder of a program: ConfigFolder() + the program file's name without a
// three-letter extension + "/" (always with the separator), created when create is set.
// Empty when there is no config folder.
[[nodiscard]] std::string AppDataFolderOf(const std::string& programFileName, bool create);

} // namespace torvane::platform
