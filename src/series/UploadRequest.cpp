#include "series/UploadRequest.h"

#include "platform/Text.h"
#include "platform/Url.h"
#include "upgrade/Base64.h"

#include <algorithm>
#include <cstdio>

namespace torvane {

namespace {

constexpr const char* CRLF = "\r\n";
constexpr std::string_view Scheme = "http://";

bool IsUrlByte(unsigned char c) {
    return c > 0x20 && c < 0x7F;
}

bool IsHostByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

const char* AcceptOf(TPostVariant variant) {
    return variant == TPostVariant::F ? "text/html, */*"
                                      : "image/gif, image/jpeg, image/pjpeg, image/pjpeg, "
                                        "application/x-shockwave-flash, */*";
}

} // namespace

std::string MakeBoundary(const TLocalTime& t) {
    char digits[32];
    std::snprintf(digits, sizeof(digits), "%02d%02d%02d%02d%02d%02d%03d", t.Month % 100,
                  t.Day % 100, t.Year % 100, t.Hour % 100, t.Minute % 100, t.Second % 100,
                  t.Millisecond % 1000);
    return std::string("--------") + digits;
}

bool ParseUploadUrl(const std::string& url, TParsedUrl& out, std::string& error) {
    out = TParsedUrl{};
    const auto refuse = [&](const char* reason) {
        error = reason + url;
        return false;
    };
    // The text is checked first, because curl is lenient where a camera address never is:
    // it takes "http:/cam", reads "http:///x" as the host "x", decodes "%41" in a host,
    // rewrites "127.1", takes "cam:/x" as no port and "cam:000081" as 81.
    if (url.size() < Scheme.size() ||
        platform::CompareTextAscii(url.substr(0, Scheme.size()), Scheme) != 0) {
        return refuse("Not an http:// address: ");
    }
    for (const char c : url) {
        if (!IsUrlByte(static_cast<unsigned char>(c))) {
            return refuse("The address contains blanks or control characters: ");
        }
    }
    // The host as typed, up to the port, path or query: the Host header carries it so,
    // and a numeric form such as "127.1" is resolved when connecting, as a name would be.
    const std::string_view written = std::string_view(url).substr(Scheme.size());
    const std::string_view host = written.substr(0, written.find_first_of(":/?"));
    if (host.empty()) {
        return refuse("The address names no host: ");
    }
    if (!std::all_of(host.begin(), host.end(),
                     [](char c) { return IsHostByte(static_cast<unsigned char>(c)); })) {
        return refuse("The address has an invalid host: ");
    }
    // After a ":" one to five digits up to the path or query (curl ends a port at "#").
    const bool hasPort = host.size() < written.size() && written[host.size()] == ':';
    if (hasPort) {
        std::string_view port = written.substr(host.size() + 1);
        port = port.substr(0, port.find_first_of("/?"));
        if (port.empty() || port.size() > 5 ||
            port.find_first_not_of("0123456789") != std::string_view::npos) {
            return refuse("The address has an invalid port: ");
        }
    }
    // curl reads the rest: the port's value, the path, query and fragment.
    const std::optional<platform::TUrl> parsed = platform::ParseUrl(url);
    if (!parsed || parsed->Scheme != "http" || parsed->HasUserInfo) {
        return refuse(hasPort ? "The address has an invalid port: "
                              : "The address has an invalid host: ");
    }
    if (hasPort && (!parsed->Port || *parsed->Port == 0)) {
        return refuse("The address has an invalid port: ");
    }
    out.Host = std::string(host);
    out.Port = parsed->Port.value_or(80);
    out.Target = parsed->Path;
    if (parsed->Query) {
        out.Target += "?" + *parsed->Query;
    }
    if (parsed->Fragment) {
        out.Target += "#" + *parsed->Fragment;
    } else if (url.back() == '#') {
        out.Target += "#"; // curl drops an empty fragment; the camera gets the text as typed
    }
    return true;
}

namespace upload {

std::string PartHead(const std::string& boundary, const std::string& filePath,
                     const std::string& partContentType) {
    std::string s;
    s += "--" + boundary + CRLF;
    s += "Content-Disposition: form-data; name=\"file\"; filename=\"" + filePath + "\"" + CRLF;
    s += "Content-Type: " + partContentType + CRLF;
    s += std::string("Content-Transfer-Encoding: binary") + CRLF;
    s += CRLF;
    return s;
}

std::string PartTail(const std::string& boundary) {
    return std::string(CRLF) + "--" + boundary + "--" + CRLF;
}

std::string RequestHead(const TParsedUrl& url, const std::string& boundary,
                        std::uint64_t contentLength, TPostVariant variant,
                        const TPostCredentials& credentials) {
    std::string s = "POST " + url.Target + " HTTP/1.0" + CRLF;
    auto header = [&s](const std::string& name, const std::string& value) {
        s += name + ": " + value + CRLF;
    };
    header("Connection", "keep-alive");
    header("Content-Type", "multipart/form-data; boundary=" + boundary);
    header("Content-Length", std::to_string(contentLength));
    header("Host", url.Port == 80 ? url.Host : url.Host + ":" + std::to_string(url.Port));
    header("Accept", AcceptOf(variant));
    if (variant != TPostVariant::F) {
        header("Accept-Encoding", "gzip,deflate");
    }
    header("User-Agent", "Mozilla/3.0 (compatible; Indy Library)");
    if (variant == TPostVariant::H) {
        header("Authorization",
               "Basic " + EncodeBase64Line(credentials.User + ":" + credentials.Password));
    }
    s += CRLF;
    return s;
}

} // namespace upload

} // namespace torvane
