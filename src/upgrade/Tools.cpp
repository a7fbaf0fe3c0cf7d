#include "upgrade/Tools.h"

#include "platform/Folders.h"
#include "platform/Http.h"
#include "platform/Text.h"
#include "upgrade/Base64.h"

#include <string_view>

namespace torvane {

std::string TTools::GetTempFolder() {
    return platform::TempFolder();
}

bool TTools::ForceFolder(const std::string& path) {
    return platform::ForceFolder(path);
}

void TTools::SplitText(const std::string& text, const std::string& separator,
                       std::vector<std::string>& list) {
    platform::SplitText(text, separator, list);
}

void TTools::FindFiles(std::vector<platform::TFoundFile>& list, const std::string& folder,
                       bool skipDuplicates, const std::function<bool()>& continueSearch,
                       bool recurse, const std::string& masks) {
    platform::FindFiles(list, folder, skipDuplicates, continueSearch, recurse, masks);
}

bool TTools::DeleteFolder(const std::string& folder, bool removeFolder) {
    platform::DeleteFolder(folder, removeFolder);
    return true;
}

std::string TTools::GetModulePath() {
    return platform::ModulePath();
}

std::string TTools::GetAppFolder() {
    return platform::FolderOf(GetModulePath());
}

std::string TTools::GetSpecialFolder(int folderId, bool create) {
    if (folderId != CSIDL_APPDATA) {
        return {};
    }
    std::string folder = platform::ConfigFolder();
    if (!folder.empty() && create) {
        (void)platform::ForceFolder(folder);
    }
    return folder;
}

std::string TTools::GetAppDataFolder(int folderId, bool create) {
    if (GetSpecialFolder(folderId, false).empty()) {
        return {};
    }
    return platform::AppDataFolderOf(platform::FileNameOf(GetModulePath()), create);
}

bool TTools::HttpGet(const std::string& url, const std::string& user,
                     const std::string& password, int timeoutMs, std::string& body) {
    body.clear();
    std::vector<std::string> headers;
    if (!user.empty() || !password.empty()) {
        // One line: a line break inside a header value would end the header there.
        headers.push_back("Authorization: Basic " + EncodeBase64Line(user + ":" + password));
    }
    platform::THttpFetchResult r =
        platform::HttpFetch(url, headers, "MyIP", timeoutMs, MaxPageBytes);
    if (!r.Answered) {
        return false;
    }
    const auto zero = r.Body.find('\0');
    if (zero != std::string::npos) {
        r.Body.resize(zero);
    }
    body = std::move(r.Body);
    return true;
}

namespace {

// Percent-encodes what is not printable ASCII, and the bytes of extra.
std::string PercentEncoded(const std::string& value, std::string_view extra) {
    return platform::PercentEncode(value, [extra](unsigned char c) {
        return c > 0x20 && c < 0x7F && extra.find(static_cast<char>(c)) == std::string_view::npos;
    });
}

} // namespace

std::string UrlValue(const std::string& value) {
    return PercentEncoded(value, {});
}

std::string UrlCredential(const std::string& value) {
    // "#" would start the fragment (the client cuts it off), "&" and "=" would split the
    // query, "%" would be read as the start of an escape and "+" as a blank.
    return PercentEncoded(value, "#&%+=");
}

} // namespace torvane
