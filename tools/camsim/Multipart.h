#pragma once

#include "HttpRequest.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include <utility>

namespace camsim {

struct TUploadedFile {
    std::string FieldName;   // name="..." of the part
    std::string FileName;    // filename="..." as sent (clients send full local paths)
    std::string ContentType; // the part's Content-Type, empty when it has none
    std::string Bytes;
};

struct TUploadResult {
    std::optional<TUploadedFile> File;
    std::string Error; // why there is no file
};

// Takes the uploaded file out of a multipart/form-data POST the way a camera's upload CGI
// does: the boundary from the request's Content-Type, each part's header lines up to the
// empty line, the part's bytes up to CR LF "--" boundary, and the closing "--" boundary "--"
// at the very end of the body (followed by CR LF at most). The first part with a file
// name is the file.
[[nodiscard]] TUploadResult ParseMultipartUpload(const THttpRequest& request);

// "form-data; name="file"; filename="a;b.bin"" -> the main value and the parameters
// (names lower-cased, quotes removed). Semicolons inside quotes do not split.
[[nodiscard]] std::pair<std::string, std::vector<std::pair<std::string, std::string>>>
SplitHeaderParameters(std::string_view value);

} // namespace camsim
