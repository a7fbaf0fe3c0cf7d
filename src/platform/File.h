#pragma once
// An open file of ours. Every operation gives the system's error with its result (0 when
// there was none), so a caller never reads a stored errno after the fact. The descriptor
// closes with the object; Close() is there for the writer that must know whether the last
// bytes reached the file.

#include <cstddef>
#include <cstdint>
#include <string>

namespace torvane::platform {

// The outcome of one read or write: how many bytes moved and the system's error.
struct TIoResult {
    std::size_t Count = 0;
    int Error = 0;
    [[nodiscard]] bool Ok() const { return Error == 0; }
};

// What fstat says of an open file.
struct TFileInfo {
    int Error = 0;
    bool Regular = false;
    std::uint64_t Size = 0;
};

// The system's text for an error number.
[[nodiscard]] std::string ErrorText(int error);

// Move-only: declaring the moves leaves it without copies.
class TFile {
public:
    TFile() = default;
    ~TFile();
    TFile(TFile&& other) noexcept;
    TFile& operator=(TFile&& other) noexcept;

    // Opens path for reading; with noFollow a symbolic link under the name is refused
    // rather than followed (O_NOFOLLOW). See IsOpen and OpenError.
    [[nodiscard]] static TFile OpenForReading(const std::string& path, bool noFollow = false);
    // Opens a plain file for reading without following a link and without waiting on it:
    // a pipe or a device put in a file's place cannot block the open (O_NONBLOCK); check
    // Info().Regular before reading.
    [[nodiscard]] static TFile OpenPlainForReading(const std::string& path);
    // Opens an existing file of ours for writing it anew (emptied first), never through a
    // link.
    [[nodiscard]] static TFile OpenForRewriting(const std::string& path);
    // A new, empty file beside path under a fresh name (see CreateFreshFileBeside, whose
    // rules it follows), opened for writing; FreshPath() names it.
    [[nodiscard]] static TFile CreateFreshBeside(const std::string& path, const std::string& suffix,
                                                 unsigned mode = 0666);
    // Takes a descriptor over (closed with the object).
    [[nodiscard]] static TFile Adopt(int fd, int openError = 0);

    [[nodiscard]] bool IsOpen() const { return FFd >= 0; }
    // Why the file is not open (0 when it is).
    [[nodiscard]] int OpenError() const { return FOpenError; }
    [[nodiscard]] const std::string& FreshPath() const { return FFreshPath; }
    [[nodiscard]] int Handle() const { return FFd; }

    // Reads up to size bytes (a read that a signal broke off is repeated); Count 0 without
    // an error is the end of the file.
    [[nodiscard]] TIoResult Read(void* buffer, std::size_t size);
    // Writes all size bytes; Count says how many went before an error.
    [[nodiscard]] TIoResult WriteAll(const void* data, std::size_t size);
    // Puts what was written on the disk (fsync): 0 or the error.
    [[nodiscard]] int Sync();
    // Cuts the file to size bytes: 0 or the error.
    [[nodiscard]] int Truncate(std::uint64_t size = 0);
    [[nodiscard]] TFileInfo Info() const;
    // Closes: 0, or the error of the close (a late write error shows here). Closing a
    // file that is not open gives 0.
    int Close();

private:
    int FFd = -1;
    int FOpenError = 0;
    std::string FFreshPath;
};

// The kinds that a Unix mode (the st_mode bits, also kept by archives made on Unix) names.
enum class EFileKind { Unknown, Regular, Folder, Link, Special };
[[nodiscard]] EFileKind FileKindOfMode(std::uint32_t mode);
// What is at path, a link taken as a link (lstat); Unknown when nothing is there.
[[nodiscard]] EFileKind PathKind(const std::string& path);

} // namespace torvane::platform
