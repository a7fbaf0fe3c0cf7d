#pragma once
// Class-level helpers used across the tool: the temporary folder, folder trees, file
// search, the program's folders, text splitting, and the HTTP fetch of a page into a string
// with optional Basic authentication. Every camera-side request of the series adapters
// goes through HttpGet.

#include "platform/FileOps.h"

#include <functional>
#include <string>
#include <vector>

namespace torvane {

class TTools {
public:
    TTools() = delete;

    // The private per-user temporary folder, with its trailing separator; empty when it
    // cannot be used safely.
    [[nodiscard]] static std::string GetTempFolder();
    static bool ForceFolder(const std::string& path);
    static void SplitText(const std::string& text, const std::string& separator,
                          std::vector<std::string>& list);
    static void FindFiles(std::vector<platform::TFoundFile>& list, const std::string& folder,
                          bool skipDuplicates, const std::function<bool()>& continueSearch,
                          bool recurse, const std::string& masks);
    // Always true; see platform::DeleteFolder.
    static bool DeleteFolder(const std::string& folder, bool removeFolder);
    [[nodiscard]] static std::string GetModulePath();
    [[nodiscard]] static std::string GetAppFolder();
    // Shell folder ids: 26 (per-user application data) is the one the tool uses; it is the
    // user's config folder here. Other ids give an empty text.
    [[nodiscard]] static std::string GetSpecialFolder(int folderId, bool create);
    [[nodiscard]] static std::string GetAppDataFolder(int folderId, bool create);

    // GET url; true when the server answered with any HTTP response (the status is not
    // examined), body = the response body up to 512000 bytes and cut at its first zero
    // byte. With a user or a password, sends Basic credentials. timeoutMs bounds
    // connecting and the whole exchange: a reply that has not ended by then (a peer that
    // trickles bytes, or holds its connection open) gives false.
    static bool HttpGet(const std::string& url, const std::string& user,
                        const std::string& password, int timeoutMs, std::string& body);

    static constexpr std::size_t MaxPageBytes = 512000;
};

// A value made safe for a URL (addresses, folder and file names, camera texts): printable
// ASCII (0x21..0x7E, "&" and "=" included) stays as it is, as the cameras expect; blanks,
// control bytes (CR and LF among them) and bytes above 0x7E are percent-encoded, so no
// value can break the request line or add a header.
[[nodiscard]] std::string UrlValue(const std::string& value);
// An account or password for a URL query: as UrlValue, and "#", "&", "%", "+" and "=" are
// percent-encoded too, so the value reaches the camera whole as one query value (a "#"
// would end the URL's query, an "&" or "=" split it into parameters of its own).
[[nodiscard]] std::string UrlCredential(const std::string& value);

constexpr int CSIDL_APPDATA = 26;

} // namespace torvane
