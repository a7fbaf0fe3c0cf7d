#pragma once
// Text code pages. Inside the program every text is UTF-8; the language packs keep their
// historical byte formats (GBK for "en" and "cn", Big5 for "b5") and are decoded here.

#include <string>
#include <string_view>

namespace torvane::platform {

constexpr int CP_OEM_US = 437;
constexpr int CP_SHIFT_JIS = 932;
constexpr int CP_GBK = 936;
constexpr int CP_BIG5 = 950;
constexpr int CP_UTF8 = 65001;

// Decodes bytes of the code page to UTF-8. A byte sequence that is not valid in the code
// page becomes "?", an incomplete sequence at the end (a value cut in the middle of a
// character) is dropped. Unknown code pages are taken as UTF-8 and cleaned the same way.
[[nodiscard]] std::string DecodeToUtf8(std::string_view bytes, int codePage);

// Encodes UTF-8 text into the code page. False (and out unchanged) when a character has
// no form in it or the input is not UTF-8.
[[nodiscard]] bool EncodeFromUtf8(std::string_view utf8, int codePage, std::string& out);

[[nodiscard]] bool IsValidUtf8(std::string_view bytes);

// The OEM code page that a Windows system with the user's locale would have, taken from
// LC_ALL, LC_MESSAGES and LANG: zh_CN/zh_SG 936, zh_TW/zh_HK/zh_MO 950, ja 932,
// fr_CA 863, otherwise 437.
[[nodiscard]] int OemCodePage();
// The same mapping for one locale name such as "zh_CN.UTF-8".
[[nodiscard]] int OemCodePageOfLocale(std::string_view locale);

} // namespace torvane::platform
