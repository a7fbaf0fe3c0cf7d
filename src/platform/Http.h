#pragma once
// HTTP client services on libcurl. The upgrade engine builds its fetch and download
// operations on these.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace torvane::platform {

struct THttpFetchResult {
    bool Answered = false;  // an HTTP response came (any status)
    long Status = 0;        // its status code
    std::string StatusLine; // e.g. "HTTP/1.1 404 Not Found" (without CR LF)
    std::string Body;       // at most maxBodyBytes of the body
    std::string Error;      // the transfer's error text when not answered
    bool TimedOut = false;  // the exchange did not end within its time-out
};

// GET url with the given extra header lines (each without CR LF), the user agent, no cache
// ("Cache-Control: no-cache" and "Pragma: no-cache"), redirects not followed. Connecting is
// bounded by timeoutMs, and so is the whole exchange (both through TimeoutMs of the
// sleeper): a reply that has not ended timeoutMs after the start is no answer, whatever
// came of it, so a peer that trickles a byte now and then, or sends part of a reply and
// holds the connection open, is treated like one that does not answer (TimedOut set).
// Reads until the body ends or maxBodyBytes have come (the transfer is then stopped:
// answered). A connection that breaks after the reply's headers still counts as answered,
// with what came. Interim 1xx replies are skipped: StatusLine and Status are the final
// reply's. The body is returned whole, zero bytes included (cutting at a zero byte is the
// caller's job). Proxies come from the environment (http_proxy, no_proxy), as libcurl reads
// them.
[[nodiscard]] THttpFetchResult HttpFetch(const std::string& url,
                                         const std::vector<std::string>& headers,
                                         const std::string& userAgent, int timeoutMs,
                                         std::size_t maxBodyBytes);

// What ends a download besides its success. Every time goes through TimeoutMs; byte counts
// are not scaled. 0 switches a limit off.
struct THttpDownloadLimits {
    int ConnectTimeoutMs = 0; // connecting (0: libcurl's own default)
    int OverallTimeoutMs = 0; // the whole transfer, from the start
    // The rate rule: once RateWindowMs have passed since the connection was made, a transfer
    // that received fewer than MinWindowBytes over the last RateWindowMs is aborted.
    int RateWindowMs = 0;
    std::uint64_t MinWindowBytes = 0;
    std::uint64_t MaxBytes = 0; // the body (a larger declared Content-Length aborts at once)
    // Called on the downloading thread after each block written to the file: the bytes
    // written so far and the length the source declared (0 when it declared none, or when
    // more came than it declared). Must return quickly: it runs between blocks.
    std::function<void(std::uint64_t done, std::uint64_t total)> Progress;
};

// total for a progress report: the declared length, or 0 when it is not known or done
// already went past it.
[[nodiscard]] inline std::uint64_t ProgressTotal(long long declared, std::uint64_t done) {
    return declared >= 0 && static_cast<std::uint64_t>(declared) >= done
               ? static_cast<std::uint64_t>(declared)
               : 0;
}

enum class EDownloadFailure {
    None,
    Transfer, // no connection, a broken transfer, too many redirects...
    Status,   // a final status outside 200..299 (ErrorText is the status line)
    File,     // the file could not be created, written or put in place
    TooLarge, // MaxBytes
    TimedOut, // OverallTimeoutMs
    TooSlow,  // the rate rule
    // A folder source only: the name is a link, a folder, a device or a pipe, not a plain
    // file (FolderDownloadToFile).
    NotPlainFile,
};

struct THttpDownloadResult {
    bool Ok = false;
    EDownloadFailure Failure = EDownloadFailure::None;
    std::string ErrorText; // why, in the HTTP client's or the system's words
    std::string Where;     // a folder source: the file or folder that failed
};

// GET url into the file at path, following redirects (http and https only, at most 10),
// with the user agent, within the limits. The body is written as it arrives to a fresh
// file beside path (created exclusively, never through a link) that is renamed to path at
// the end, so a link planted under path is replaced, never followed. A final status
// outside 200..299 is a failure whose error text is the status line ("HTTP/1.1 404 Not
// Found"); its page never goes into the file. On failure an empty file is left at path
// (the fresh file, emptied and renamed; when the fresh file cannot even be created,
// nothing changes). https certificates are verified.
[[nodiscard]] THttpDownloadResult HttpDownloadToFile(const std::string& url,
                                                     const std::string& path,
                                                     const std::string& userAgent,
                                                     const THttpDownloadLimits& limits);

} // namespace torvane::platform
