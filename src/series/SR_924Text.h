#pragma once
// Text rules the T-series client shares between its uploads and its settings operations:
// the firmware version from which a camera takes uploads on its upgrade port, and how
// values are read from the camera's CGI replies.

#include <string>
#include <string_view>

namespace torvane {

// Cameras that run this system firmware version or a later one take firmware on port 8600.
inline constexpr std::string_view T924UploadPortVersion = "48.2.0.121";
inline constexpr int T924UploadPort = 8600;

// Versions are compared as texts, byte by byte (a text that begins the other is the smaller
// one): 48.2.0.99 is not below 48.2.0.121, 48.1.9 is.
[[nodiscard]] inline bool IsBelowUploadPortVersion(std::string_view version) {
    return version.compare(T924UploadPortVersion) < 0;
}

// "var" replies (lines var name=value; with the value in single or double quotes): the text
// from the second character after the first occurrence of key up to the first ";" at or
// after the key, with every quote removed. Empty when the key or the ";" is missing.
[[nodiscard]] std::string ReadVarValue(std::string_view body, std::string_view key);

// Line replies (name=value up to CR): from the first occurrence of key, everything up to and
// including the next "=" dropped, one leading double quote dropped, cut at the next CR and
// trimmed. Empty when the key is missing.
[[nodiscard]] std::string ReadLineValue(std::string_view body, std::string_view key);

// The text between the first two occurrences of quote in line; empty when there are fewer.
[[nodiscard]] std::string BetweenQuotes(std::string_view line, char quote);

} // namespace torvane
