#pragma once
// The multipart form upload by which the F, H and T cameras take a firmware file: one raw
// HTTP/1.0 POST over its own TCP connection, the request line, headers and body laid out
// byte for byte the way the cameras' upload programs expect them. The file is streamed from
// disk in blocks; Content-Length comes from its size, so it is never held in memory.
//
// Variants:
//   F  Accept "text/html, */*", no Accept-Encoding, credentials in the URL only
//   H  the browser Accept list, Accept-Encoding "gzip,deflate", Basic credentials sent with
//      the request (no challenge awaited)
//   T  as H without the Authorization header (credentials in the URL only)
// All variants bound connecting and every wait for the camera by 60000 ms (through the
// sleeper's TimeoutMs), and every exchange as a whole as well, so a camera that sends or
// takes a byte now and then cannot hold an upload either: each 64 KiB of the body must be
// taken within 60000 ms, and the whole reply must have come within 60000 ms of the body
// having gone out.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace torvane {

enum class TPostVariant { F, H, T };

// Local date and time to the millisecond (month 1..12, hour 0..23).
struct TLocalTime {
    int Year = 0;
    int Month = 0;
    int Day = 0;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

// Where the boundary takes its time from; empty means the system's local time.
using TLocalClock = std::function<TLocalTime()>;

[[nodiscard]] TLocalTime CurrentLocalTime();
// "--------" followed by MMDDYYhhmmss and the milliseconds as three digits (23 characters).
[[nodiscard]] std::string MakeBoundary(const TLocalTime& time);

struct TParsedUrl {
    std::string Host;
    std::uint16_t Port = 80;
    std::string Target; // path and query, as written (at least "/")
};

// http://host[:port][/path][?query]; the scheme is matched without regard to case, the port
// defaults to 80. False with a reason in error when the URL cannot be used for an upload
// (another scheme, no host, a bad port, blanks or control bytes that would break the
// request).
[[nodiscard]] bool ParseUploadUrl(const std::string& url, TParsedUrl& out, std::string& error);

struct TPostCredentials {
    std::string User;
    std::string Password;
};

struct TPostResult {
    bool Completed = false; // the camera answered 200..299
    std::string ErrorText;  // on failure: the reply's status line or the network error
};

// The firmware file cannot be opened (or its size cannot be had). Raised before any
// connection is made; nothing has been sent.
class TFirmwareFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the first four bytes of a firmware file (the kind signature). False when the file
// is shorter or cannot be read; throws TFirmwareFileError when it cannot be opened at all.
[[nodiscard]] bool ReadFirmwareSignature(const std::string& filePath, std::string& bytes);

// Time-out of connecting and of each wait for the camera.
constexpr int PostFirmwareTimeoutMs = 60000;

// Sends filePath to url as the form field "file" with the given part content type. The
// credentials are used by variant H only. Completed on a 2xx reply (the body is read but not
// examined); failed with the status line for any other status (redirections and 401 are not
// followed), or with the network error text when the connection is refused, times out (a
// reply not whole within its deadline included: "Connection timed out") or breaks before
// the reply is complete. Throws TFirmwareFileError when the file cannot be
// opened.
[[nodiscard]] TPostResult PostFirmware(const std::string& url, const std::string& filePath,
                                       const std::string& partContentType, TPostVariant variant,
                                       const TPostCredentials& credentials = {},
                                       const TLocalClock& clock = {});

} // namespace torvane
