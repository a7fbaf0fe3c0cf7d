#include "series/SR_924Text.h"

#include "platform/Text.h"

namespace torvane {

std::string ReadVarValue(std::string_view body, std::string_view key) {
    const auto pos = body.find(key);
    if (pos == std::string_view::npos) {
        return {};
    }
    const auto semicolon = body.find(';', pos);
    const std::size_t start = pos + key.size() + 1; // the character after the key is "="
    if (semicolon == std::string_view::npos || semicolon < start) {
        return {};
    }
    std::string value;
    for (const char c : body.substr(start, semicolon - start)) {
        if (c != '\'' && c != '"') {
            value += c;
        }
    }
    return value;
}

std::string ReadLineValue(std::string_view body, std::string_view key) {
    const auto pos = body.find(key);
    if (pos == std::string_view::npos) {
        return {};
    }
    std::string_view rest = body.substr(pos);
    const auto equals = rest.find('=');
    if (equals == std::string_view::npos) {
        return {};
    }
    rest.remove_prefix(equals + 1);
    if (!rest.empty() && rest.front() == '"') {
        rest.remove_prefix(1);
    }
    const auto cr = rest.find('\r');
    if (cr != std::string_view::npos) {
        rest = rest.substr(0, cr);
    }
    return platform::Trim(rest);
}

std::string BetweenQuotes(std::string_view line, char quote) {
    const auto first = line.find(quote);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto second = line.find(quote, first + 1);
    if (second == std::string_view::npos) {
        return {};
    }
    return std::string(line.substr(first + 1, second - first - 1));
}

} // namespace torvane
