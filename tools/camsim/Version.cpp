#include "Version.h"

namespace camsim {

std::string NextVersion(std::string_view version) {
    std::size_t end = version.size();
    std::size_t start = end;
    while (start > 0 && version[start - 1] >= '0' && version[start - 1] <= '9') {
        --start;
    }
    if (start == end) {
        return std::string(version) + ".1";
    }
    std::string digits(version.substr(start));
    // Decimal increment on the text, so any length works and leading zeros keep their width.
    std::size_t i = digits.size();
    while (i > 0) {
        --i;
        if (digits[i] == '9') {
            digits[i] = '0';
            if (i == 0) {
                digits.insert(digits.begin(), '1');
            }
        } else {
            ++digits[i];
            break;
        }
    }
    return std::string(version.substr(0, start)) + digits;
}

std::string VersionFamily(std::string_view version) {
    const std::size_t dot = version.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(version.substr(0, dot));
}

bool IsPlainToken(std::string_view text) {
    for (const char c : text) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!plain) {
            return false;
        }
    }
    return true;
}

} // namespace camsim
