#pragma once
// The multipart form upload by which the F, H and T cameras take a firmware file: one raw
// HTTP/1.0 POST over its own TCP connection, the request line, headers and body laid out
// byte for byte the way the cameras' upload programs expect them. The file is streamed from
// disk in blocks; Content-Length comes from its size, so it is never held in memory.
//
// The request's bytes are made in series/UploadRequest (variants F, H, T), the reply is
// read by series/HttpReply. All variants bound connecting and every wait for the camera by
// 60000 ms (through the sleeper's TimeoutMs), and every exchange as a whole as well, so a
// camera that sends or takes a byte now and then cannot hold an upload either: each 64 KiB
// of the body must be taken within 60000 ms, and the whole reply must have come within
// 60000 ms of the body having gone out.

#include "series/UploadRequest.h"

#include <functional>
#include <stdexcept>
#include <string>

namespace torvane {

// Where the boundary takes its time from; empty means the system's local time.
using TLocalClock = std::function<TLocalTime()>;

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
