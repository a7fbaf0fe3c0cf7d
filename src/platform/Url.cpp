#include "platform/Url.h"

#include "platform/CurlHandle.h"

#include <charconv>
#include <memory>

namespace torvane::platform {

namespace {

// One part of the parsed URL, as written; none when the URL does not have it.
std::optional<std::string> Part(CURLU* handle, CURLUPart part) {
    char* value = nullptr;
    if (curl_url_get(handle, part, &value, 0) != CURLUE_OK || value == nullptr) {
        return std::nullopt;
    }
    std::string text(value);
    curl_free(value);
    return text;
}

} // namespace

std::optional<TUrl> ParseUrl(std::string_view url, bool schemeOptional) {
    const TCurlUrl handle(curl_url());
    if (!handle) {
        return std::nullopt;
    }
    const std::string text(url);
    // CURLU_PATH_AS_IS: the path goes to the camera byte for byte, "." and ".." included.
    const unsigned int flags = CURLU_PATH_AS_IS | (schemeOptional ? CURLU_DEFAULT_SCHEME : 0U);
    if (text.find('\0') != std::string::npos ||
        curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), flags) != CURLUE_OK) {
        return std::nullopt;
    }
    TUrl out;
    out.Scheme = Part(handle.get(), CURLUPART_SCHEME).value_or(std::string());
    out.HasUserInfo = Part(handle.get(), CURLUPART_USER).has_value() ||
                      Part(handle.get(), CURLUPART_PASSWORD).has_value() ||
                      Part(handle.get(), CURLUPART_OPTIONS).has_value();
    out.Host = Part(handle.get(), CURLUPART_HOST).value_or(std::string());
    if (const auto port = Part(handle.get(), CURLUPART_PORT)) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(port->data(), port->data() + port->size(), value);
        if (error != std::errc() || end != port->data() + port->size() || value > 0xFFFF) {
            return std::nullopt;
        }
        out.Port = static_cast<std::uint16_t>(value);
    }
    out.Path = Part(handle.get(), CURLUPART_PATH).value_or("/");
    out.Query = Part(handle.get(), CURLUPART_QUERY);
    out.Fragment = Part(handle.get(), CURLUPART_FRAGMENT);
    return out;
}

} // namespace torvane::platform
