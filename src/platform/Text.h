#pragma once
// Small text helpers with the rules the system's texts follow (ASCII case folding only).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace torvane::platform {

// Cuts text at each occurrence of separator; an empty text gives one empty piece, empty
// pieces are kept, the rest after the last separator is the last piece. Appends to list.
void SplitText(std::string_view text, std::string_view separator, std::vector<std::string>& list);

[[nodiscard]] std::string Trim(std::string_view text);      // blanks and control bytes <= 0x20
[[nodiscard]] std::string LowerAscii(std::string_view text);
[[nodiscard]] std::string UpperAscii(std::string_view text);
// Case-insensitive (ASCII) three-way compare: <0, 0, >0; a prefix comes first.
[[nodiscard]] int CompareTextAscii(std::string_view a, std::string_view b);
[[nodiscard]] bool StartsWith(std::string_view text, std::string_view prefix);
[[nodiscard]] bool Contains(std::string_view text, std::string_view part);
// Replaces every occurrence, left to right, without rescanning the replacement.
[[nodiscard]] std::string ReplaceAll(std::string_view text, std::string_view from,
                                     std::string_view to);
// Two hexadecimal digits a byte, separator between bytes: MAC addresses, digests, codes.
enum class EHexCase { Upper, Lower };
[[nodiscard]] std::string HexText(const std::uint8_t* bytes, std::size_t count,
                                  EHexCase letters = EHexCase::Upper,
                                  std::string_view separator = {});
// Every byte that kept refuses becomes "%" and two upper-case hexadecimal digits.
[[nodiscard]] std::string PercentEncode(std::string_view text,
                                        const std::function<bool(unsigned char)>& kept);

// Decimal integer as the system reads numbers: optional sign and digits, nothing else
// (blanks around are allowed); fallback when the text is not such a number or overflows.
[[nodiscard]] long long ToIntDef(std::string_view text, long long fallback);

// Puts args in for %1 .. %9 in one pass; "%%" gives "%". Other "%" stay as they are, and
// an argument is never read again (a "%2" in the first argument stays as it is).
[[nodiscard]] std::string FormatMessage(const std::string& text,
                                        const std::vector<std::string>& args);

} // namespace torvane::platform
