#pragma once
// HTTP client services on libcurl. The upgrade engine builds its fetch and download
// operations on these.

#include <cstddef>
#include <string>
#include <vector>

namespace torvane::platform {

struct THttpFetchResult {
    bool Answered = false;  // an HTTP response came (any status)
    long Status = 0;        // its status code
    std::string StatusLine; // e.g. "HTTP/1.1 404 Not Found" (without CR LF)
    std::string Body;       // at most maxBodyBytes of the body
    std::string Error;      // the transfer's error text when not answered
};

// GET url with the given extra header lines (each without CR LF), the user agent, no cache
// ("Cache-Control: no-cache" and "Pragma: no-cache"), redirects not followed. Connecting and
// every wait for data are bounded by timeoutMs (through TimeoutMs of the sleeper). Reads
// until the body ends or maxBodyBytes have come (the transfer is then stopped: answered).
// A connection that breaks after the reply's headers still counts as answered, with what
// came; a reply that goes quiet for timeoutMs counts as answered only when its body had
// begun. Interim 1xx replies are skipped: StatusLine and Status are the final reply's. The
// body is returned whole, zero bytes included (cutting at a zero byte is the caller's job).
// Proxies come from the environment (http_proxy, no_proxy), as libcurl reads them.
[[nodiscard]] THttpFetchResult HttpFetch(const std::string& url,
                                         const std::vector<std::string>& headers,
                                         const std::string& userAgent, int timeoutMs,
                                         std::size_t maxBodyBytes);

// GET url into the file at path (created or replaced first), following redirects (http and
// https only, at most 10), with the user agent. Connecting is bounded by connectTimeoutMs;
// once connected, a transfer that moves less than one byte per second for stallTimeoutMs is
// aborted (both through TimeoutMs; 0 or less: no limit of ours). The body is written to the
// file as it arrives. A final status outside 200..299 is a failure whose error text is the
// status line ("HTTP/1.1 404 Not Found"); its page never goes into the file. On failure
// the file is left empty and errorText says why. https certificates are verified.
[[nodiscard]] bool HttpDownloadToFile(const std::string& url, const std::string& path,
                                      const std::string& userAgent, int connectTimeoutMs,
                                      int stallTimeoutMs, std::string& errorText);

} // namespace torvane::platform
