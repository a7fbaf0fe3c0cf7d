#pragma once
// Firmware from a folder of this machine (a USB stick, a share, a mirror): the counterpart
// of HttpDownloadToFile for a folder source, with the same results and limits.

#include "platform/Http.h"

#include <string>
#include <vector>

namespace torvane::platform {

// Copies the file base + names[0] + "/" + names[1] ... into the file at path. The base
// folder is opened as named (it may itself be a link, such as a mount point's); below it
// nothing may lead elsewhere: each name must be one plain path component (not empty, "."
// or "..", without "/" or a zero byte), and is opened without following a link, so a link
// anywhere below the base, even one that points inside it, is refused (NotPlainFile). Every
// name but the last must be a folder, the last a regular file: a folder, a pipe, a socket
// or a device there is refused (NotPlainFile) before it is read. A missing file or folder
// is a Transfer failure with the system's text ("No such file or directory").
//
// Limits: MaxBytes (the size the file has when it is opened, and what is actually read),
// OverallTimeoutMs (checked between reads, through TimeoutMs). The rate rule does not apply
// (a read from a local disk does not trickle; one that blocks in the kernel cannot be
// interrupted by a rule either).
//
// Written as HttpDownloadToFile writes: to a fresh file beside path (created exclusively,
// never through a link) that is renamed to path at the end; on failure an empty file is
// left at path (nothing changes when the fresh file cannot even be created). The error
// text names the source file.
[[nodiscard]] THttpDownloadResult FolderDownloadToFile(const std::string& base,
                                                       const std::vector<std::string>& names,
                                                       const std::string& path,
                                                       const THttpDownloadLimits& limits);

// True for a name FolderDownloadToFile takes as one component.
[[nodiscard]] bool IsPlainPathComponent(const std::string& name);

} // namespace torvane::platform
