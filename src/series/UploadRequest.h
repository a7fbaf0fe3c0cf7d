#pragma once
// The firmware upload's request, byte for byte: the camera's address read for its host,
// port and target, the boundary, the request line and header block, and the form part
// around the file. Written by hand rather than by an HTTP library because the cameras'
// upload programs expect exactly this layout (HTTP/1.0, these headers in this order, this
// boundary) and some refuse anything else.

#include "platform/LocalTime.h"

#include <cstdint>
#include <string>

namespace torvane {

// Variants:
//   F  Accept "text/html, */*", no Accept-Encoding, credentials in the URL only
//   H  the browser Accept list, Accept-Encoding "gzip,deflate", Basic credentials sent with
//      the request (no challenge awaited)
//   T  as H without the Authorization header (credentials in the URL only)
enum class TPostVariant { F, H, T };

using TLocalTime = platform::TLocalTime;
using platform::CurrentLocalTime;

// "--------" followed by MMDDYYhhmmss and the milliseconds as three digits (23 characters).
[[nodiscard]] std::string MakeBoundary(const TLocalTime& time);

struct TParsedUrl {
    std::string Host;
    std::uint16_t Port = 80;
    std::string Target; // path and query (and fragment), as written (at least "/")
};

// http://host[:port][/path][?query]; the scheme is matched without regard to case, the port
// defaults to 80. False with a reason in error when the URL cannot be used for an upload
// (another scheme, no host, a bad port, a user name, blanks or control bytes that would
// break the request).
[[nodiscard]] bool ParseUploadUrl(const std::string& url, TParsedUrl& out, std::string& error);

struct TPostCredentials {
    std::string User;
    std::string Password;
};

namespace upload {

// The form part's head (boundary line, Content-Disposition with the file path,
// Content-Type, Content-Transfer-Encoding, empty line) and its tail (CR LF, closing
// boundary). The file's bytes go between them unchanged.
[[nodiscard]] std::string PartHead(const std::string& boundary, const std::string& filePath,
                                   const std::string& partContentType);
[[nodiscard]] std::string PartTail(const std::string& boundary);
// The request line and the header block, up to and including the empty line.
[[nodiscard]] std::string RequestHead(const TParsedUrl& url, const std::string& boundary,
                                      std::uint64_t contentLength, TPostVariant variant,
                                      const TPostCredentials& credentials);

} // namespace upload

} // namespace torvane
