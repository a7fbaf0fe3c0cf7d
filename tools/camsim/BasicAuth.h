#pragma once

#include "HttpRequest.h"

#include <optional>
#include <string>

namespace camsim {

struct TCredentials {
    std::string User;
    std::string Password;
};

// The user and password of an "Authorization: Basic ..." header, split at the first ":".
// Nothing when the header is missing, of another scheme, or not decodable.
[[nodiscard]] std::optional<TCredentials> BasicCredentials(const THttpRequest& request);

} // namespace camsim
