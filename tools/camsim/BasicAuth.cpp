#include "BasicAuth.h"

#include "Base64.h"
#include "Text.h"

namespace camsim {

std::optional<TCredentials> BasicCredentials(const THttpRequest& request) {
    const auto header = request.Header("Authorization");
    if (!header) {
        return std::nullopt;
    }
    const std::size_t space = header->find(' ');
    if (space == std::string::npos || !IEquals(header->substr(0, space), "Basic")) {
        return std::nullopt;
    }
    const auto decoded = DecodeBase64(header->substr(space + 1));
    if (!decoded) {
        return std::nullopt;
    }
    const std::size_t colon = decoded->find(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    return TCredentials{decoded->substr(0, colon), decoded->substr(colon + 1)};
}

} // namespace camsim
