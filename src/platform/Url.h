#pragma once
// The one URL parser of the tool: libcurl's URL API (CURLU) read into plain parts. The
// firmware upload takes its host, port and request target from it, and the T-series
// client the host of a camera's base address. Parts are as written (nothing decoded),
// except what curl itself normalises: the scheme in lower case and numeric host forms
// ("127.1" becomes "127.0.0.1"). The path is kept as written ("/a/../b" stays).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace torvane::platform {

struct TUrl {
    std::string Scheme;       // lower case
    bool HasUserInfo = false; // a user, password or login options before the host
    std::string Host;
    std::optional<std::uint16_t> Port;   // as written; none when the URL names no port
    std::string Path;                    // "/" at least
    std::optional<std::string> Query;    // without "?"; empty but present for "x?"
    std::optional<std::string> Fragment; // without "#"; curl drops an empty one
};

// Parses url; none when curl refuses it (no scheme, a bad host or port, ...). With
// schemeOptional a text without a scheme is read as http.
[[nodiscard]] std::optional<TUrl> ParseUrl(std::string_view url, bool schemeOptional = false);

} // namespace torvane::platform
