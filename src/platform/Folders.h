#pragma once
// File-system services: the private temporary folder, the per-user config folder, the
// program file's path, and the few file and folder primitives the rest of the code needs.
// Every path uses "/" and every folder returned ends with "/".

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace torvane::platform {

// ${TMPDIR:-/tmp}/torvane-<uid>/, created 0700. Empty when it cannot be made safe: the
// path is a symbolic link, is not a folder, is not owned by us or is open to others.
[[nodiscard]] std::string TempFolder();

// The per-user runtime folder: what must be one and the same for every copy the user runs,
// whatever TMPDIR says (the single-instance lock and its socket). $XDG_RUNTIME_DIR/torvane/
// when XDG_RUNTIME_DIR names an absolute path to a folder of ours that nobody else may
// write to; otherwise /tmp/torvane-runtime-<uid>/ (on the machine's own /tmp, never on a
// home folder that other machines may share). Created 0700 and refused like TempFolder;
// empty when neither can be made safe.
[[nodiscard]] std::string RuntimeFolder();

// Creates the folder (one level, 0700) unless it exists, and returns it with a trailing
// "/" when it is safe to keep private files in: a real folder (not a link), owned by us,
// open to nobody else. Empty otherwise.
[[nodiscard]] std::string PrivateFolder(const std::string& path);

// The folder TempFolder makes its private folder in: ${TMPDIR:-/tmp}/.
[[nodiscard]] std::string TempFolderBase();

// The value of an environment variable; empty when it is not set.
[[nodiscard]] std::string EnvironmentValue(const char* name);
// The same, telling an unset variable (nullopt) from an empty one.
[[nodiscard]] std::optional<std::string> EnvironmentVariable(const char* name);

// The process's current folder (no trailing "/"); empty when the system cannot tell it.
[[nodiscard]] std::string CurrentFolder();

// ${XDG_CONFIG_HOME:-$HOME/.config}/, or empty when neither variable gives a folder.
[[nodiscard]] std::string ConfigFolder();

// Full path of the running program file (/proc/self/exe).
[[nodiscard]] std::string ModulePath();

// The file-name part of a path (after the last "/").
[[nodiscard]] std::string FileNameOf(const std::string& path);
// The folder part of a path, up to and including the last "/"; empty when there is none.
[[nodiscard]] std::string FolderOf(const std::string& path);
// Adds a trailing "/" unless the text is empty or already ends with one.
[[nodiscard]] std::string WithTrailingSeparator(const std::string& folder);

[[nodiscard]] bool FileExists(const std::string& path);   // a regular file (links followed)
[[nodiscard]] bool FolderExists(const std::string& path); // a folder (links followed)
[[nodiscard]] bool IsSymbolicLink(const std::string& path);

// Creates one folder level (mode 0777 minus umask, or the given mode). True when it was
// created or already is a folder.
bool MakeFolder(const std::string& path, unsigned mode = 0777);
bool RemoveFile(const std::string& path);   // unlinks a file or a symbolic link
bool RemoveFolder(const std::string& path); // removes an empty folder
bool RenameFile(const std::string& from, const std::string& to);

struct TDirEntry {
    std::string Name;
    bool IsFolder = false; // a real folder, never a link to one
    bool IsLink = false;
    std::int64_t ModifiedTime = 0; // seconds since the epoch
};
// The entries of a folder, "." and ".." left out, sorted by name (byte order) so that
// every listing of the same folder comes in the same order. Empty when unreadable.
[[nodiscard]] std::vector<TDirEntry> ListFolder(const std::string& folder);

// Reads at most maxBytes of a file. False when it cannot be opened or read.
bool ReadFileBytes(const std::string& path, std::string& out,
                   std::size_t maxBytes = static_cast<std::size_t>(-1));
// Writes a whole file through a temporary file in the same folder and a rename, so readers
// see either the old or the new content, never a part. False on any failure (the old file
// then stays as it was).
bool WriteFileAtomic(const std::string& path, const std::string& data);

// Text of the last OS error (strerror of errno).
[[nodiscard]] std::string LastErrorText();

} // namespace torvane::platform
