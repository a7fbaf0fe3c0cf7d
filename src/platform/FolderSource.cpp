#include "platform/FolderSource.h"

#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/Sleeper.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace torvane::platform {

namespace {

constexpr std::size_t CopyBufferBytes = 256 * 1024;


std::string ErrnoText(int error) {
    return std::strerror(error);
}

bool IsRegular(const struct stat& st) {
    return S_ISREG(st.st_mode);
}

} // namespace

bool IsPlainPathComponent(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

THttpDownloadResult FolderDownloadToFile(const std::string& base,
                                         const std::vector<std::string>& names,
                                         const std::string& path,
                                         const THttpDownloadLimits& limits) {
    using TClock = std::chrono::steady_clock;
    const TClock::time_point start = TClock::now();
    const int overallMs = limits.OverallTimeoutMs > 0 ? TimeoutMs(limits.OverallTimeoutMs) : 0;

    THttpDownloadResult result;
    std::string shown = WithTrailingSeparator(base); // the path reached so far, for messages
    auto fail = [&result, &shown](EDownloadFailure failure, std::string text) {
        result.Ok = false;
        result.Failure = failure;
        result.ErrorText = std::move(text);
        result.Where = shown;
    };

    std::string freshPath;
    TUniqueFd out(CreateFreshFileBeside(path, ".download", freshPath));
    if (out.Get() < 0) {
        fail(EDownloadFailure::File, ErrnoText(errno));
        result.Where = path;
        return result;
    }

    // Walks down from the base, one component at a time, never through a link; ends with
    // the source file open, or a failure.
    TUniqueFd source;
    long long sourceSize = -1; // the file's size when it was opened
    [&] {
        if (names.empty()) {
            fail(EDownloadFailure::NotPlainFile, shown + ": not a plain file");
            return;
        }
        TUniqueFd dir(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.Get() < 0) {
            const int error = errno;
            shown = base;
            while (shown.size() > 1 && shown.back() == '/') {
                shown.pop_back();
            }
            fail(EDownloadFailure::Transfer, shown + ": " + ErrnoText(error));
            return;
        }
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string& name = names[i];
            const bool last = i + 1 == names.size();
            shown += name + (last ? "" : "/");
            if (!IsPlainPathComponent(name)) {
                fail(EDownloadFailure::NotPlainFile, shown + ": not a plain file name");
                return;
            }
            // The type is looked at before anything is opened: opening a pipe or a device
            // could wait or have effects of its own.
            struct stat before {};
            if (::fstatat(dir.Get(), name.c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0) {
                fail(EDownloadFailure::Transfer, shown + ": " + ErrnoText(errno));
                return;
            }
            const bool fits = last ? IsRegular(before) : S_ISDIR(before.st_mode);
            if (!fits) {
                fail(EDownloadFailure::NotPlainFile,
                     shown + (S_ISLNK(before.st_mode) ? ": a symbolic link"
                              : last                   ? ": not a plain file"
                                                       : ": not a folder"));
                return;
            }
            const int flags = (last ? O_RDONLY | O_NONBLOCK : O_RDONLY | O_DIRECTORY) |
                              O_NOFOLLOW | O_CLOEXEC;
            const int fd = ::openat(dir.Get(), name.c_str(), flags);
            if (fd < 0) {
                const int error = errno;
                fail(error == ELOOP || error == ENOTDIR ? EDownloadFailure::NotPlainFile
                                                        : EDownloadFailure::Transfer,
                     shown + ": " + ErrnoText(error));
                return;
            }
            dir.Reset(fd);
            // What was opened must be what was looked at (nothing swapped in between).
            struct stat opened {};
            if (::fstat(dir.Get(), &opened) != 0 || opened.st_dev != before.st_dev ||
                opened.st_ino != before.st_ino ||
                (last ? !IsRegular(opened) : !S_ISDIR(opened.st_mode))) {
                fail(EDownloadFailure::NotPlainFile, shown + ": changed while it was opened");
                return;
            }
            if (last) {
                sourceSize = static_cast<long long>(opened.st_size);
            }
            if (last && limits.MaxBytes > 0 &&
                static_cast<std::uint64_t>(opened.st_size) > limits.MaxBytes) {
                fail(EDownloadFailure::TooLarge, shown + ": larger than " +
                                                     std::to_string(limits.MaxBytes) + " bytes");
                return;
            }
        }
        source.Reset(dir.Release());
    }();

    if (source.Get() >= 0) {
        std::string buffer(CopyBufferBytes, '\0');
        std::uint64_t copied = 0;
        for (;;) {
            if (overallMs > 0 && TClock::now() - start >= std::chrono::milliseconds(overallMs)) {
                fail(EDownloadFailure::TimedOut, shown + ": not read within " +
                                                     std::to_string(overallMs) + " ms");
                break;
            }
            const ssize_t n = ::read(source.Get(), buffer.data(), buffer.size());
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                fail(EDownloadFailure::Transfer, shown + ": " + ErrnoText(errno));
                break;
            }
            if (n == 0) {
                result.Ok = true;
                break;
            }
            copied += static_cast<std::uint64_t>(n);
            if (limits.MaxBytes > 0 && copied > limits.MaxBytes) {
                // It grew while it was read.
                fail(EDownloadFailure::TooLarge, shown + ": larger than " +
                                                     std::to_string(limits.MaxBytes) + " bytes");
                break;
            }
            std::size_t done = 0;
            while (done < static_cast<std::size_t>(n)) {
                const ssize_t w = ::write(out.Get(), buffer.data() + done,
                                          static_cast<std::size_t>(n) - done);
                if (w < 0) {
                    if (errno == EINTR) {
                        continue;
                    }
                    fail(EDownloadFailure::File, ErrnoText(errno));
                    result.Where = path;
                    break;
                }
                done += static_cast<std::size_t>(w);
            }
            if (result.Failure == EDownloadFailure::File) {
                break;
            }
            if (limits.Progress) {
                limits.Progress(copied, ProgressTotal(sourceSize, copied));
            }
        }
    }

    // A failed copy leaves an empty file, as a failed download does.
    if (!result.Ok && ::ftruncate(out.Get(), 0) != 0) {
        result.ErrorText += "; " + ErrnoText(errno);
    }
    if (!out.Close() && result.Ok) {
        fail(EDownloadFailure::File, ErrnoText(errno));
        result.Where = path;
        if (::truncate(freshPath.c_str(), 0) != 0) {
            result.ErrorText += "; " + ErrnoText(errno);
        }
    }
    if (!RenameFile(freshPath, path)) {
        const std::string why = ErrnoText(errno);
        (void)RemoveFile(freshPath);
        if (result.Ok) {
            fail(EDownloadFailure::File, why);
            result.Where = path;
        } else {
            result.ErrorText += "; " + why;
        }
    }
    return result;
}

} // namespace torvane::platform
