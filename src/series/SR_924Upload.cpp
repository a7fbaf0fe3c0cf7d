// The T-series client's two firmware uploads. The camera's status page tells its system
// version; cameras from 48.2.0.121 on take firmware on port 8600 of their address, older
// ones on the address the caller gives.

#include "series/SR_924.h"

#include "platform/Url.h"
#include "series/BusyPointer.h"
#include "series/PostFirmware.h"
#include "series/SR_924Text.h"
#include "upgrade/Tools.h"

namespace torvane {

namespace {

constexpr int StatusTimeoutMs = 20000;
const std::string UploadContentType = "application/x-zip-compressed";

// The value of sys_ver="..." in the status page; empty when there is none.
std::string StatusPageVersion(const std::string& body) {
    static const std::string Key = "sys_ver=";
    const auto pos = body.find(Key);
    if (pos == std::string::npos) {
        return {};
    }
    const std::size_t start = pos + Key.size() + 1; // the opening double quote
    if (start > body.size()) {
        return {};
    }
    const auto end = body.find('"', start);
    if (end == std::string::npos) {
        return {};
    }
    return body.substr(start, end - start);
}

// The camera's host in a base URL ("http://host:port"); empty when the URL cannot be read.
std::string HostOf(const std::string& baseUrl) {
    const std::optional<platform::TUrl> url = platform::ParseUrl(baseUrl, true);
    return url ? url->Host : std::string();
}

// Both uploads: the device's version and address when the client has a current device,
// else the status page behind baseUrl.
bool UploadFirmware(const TDevInfo* device, const std::string& baseUrl, const std::string& user,
                    const std::string& password, const std::string& filePath,
                    const std::string& cgiPath) {
    std::string version;
    std::string host;
    if (device != nullptr) {
        version = device->szVersion;
        host = device->szIPAddr;
    } else {
        std::string body;
        if (TTools::HttpGet(baseUrl + "/get_status.cgi?user=" + UrlCredential(user) +
                                "&pwd=" + UrlCredential(password),
                            {}, {}, StatusTimeoutMs, body) &&
            !body.empty()) {
            version = StatusPageVersion(body);
        }
        host = HostOf(baseUrl);
    }
    // A status page that cannot be read leaves the version empty, which is below the
    // threshold: the file then goes to the base URL.
    const std::string start = IsBelowUploadPortVersion(version)
                                  ? baseUrl
                                  : "http://" + host + ":" + std::to_string(T924UploadPort);
    const std::string url = start + cgiPath + "?loginuse=" + UrlCredential(user) +
                            "&loginpas=" + UrlCredential(password);

    const TBusyPointer busy;
    // A file that cannot be opened raises TFirmwareFileError out of here, before anything
    // is sent.
    const TPostResult result =
        PostFirmware(url, filePath, UploadContentType, TPostVariant::T);
    return result.Completed;
}

} // namespace

bool TT924Series::UploadSystemFirmware(const std::string& baseUrl, const std::string& user,
                                       const std::string& password,
                                       const std::string& filePath) {
    const std::optional<TDevInfo> device = DeviceSnapshot();
    return UploadFirmware(device ? &*device : nullptr, baseUrl, user, password, filePath,
                          "/upgrade_firmware.cgi");
}

bool TT924Series::UploadUIFirmware(const std::string& baseUrl, const std::string& user,
                                   const std::string& password, const std::string& filePath) {
    const std::optional<TDevInfo> device = DeviceSnapshot();
    return UploadFirmware(device ? &*device : nullptr, baseUrl, user, password, filePath,
                          "/upgrade_htmls.cgi");
}

} // namespace torvane
