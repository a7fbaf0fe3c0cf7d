#include "platform/Text.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace torvane::platform {

void SplitText(std::string_view text, std::string_view separator, std::vector<std::string>& list) {
    if (text.empty() || separator.empty()) {
        list.emplace_back(text);
        return;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t pos = text.find(separator, start);
        if (pos == std::string_view::npos) {
            list.emplace_back(text.substr(start));
            return;
        }
        list.emplace_back(text.substr(start, pos - start));
        start = pos + separator.size();
    }
}

std::string Trim(std::string_view text) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 0x20) {
        ++b;
    }
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 0x20) {
        --e;
    }
    return std::string(text.substr(b, e - b));
}

namespace {

char LowerChar(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

char UpperChar(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    std::ranges::transform(out, out.begin(), LowerChar);
    return out;
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    std::ranges::transform(out, out.begin(), UpperChar);
    return out;
}

int CompareTextAscii(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(LowerChar(a[i]));
        const auto cb = static_cast<unsigned char>(LowerChar(b[i]));
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    for (;;) {
        const std::size_t pos = text.find(from, start);
        if (pos == std::string_view::npos) {
            out.append(text.substr(start));
            return out;
        }
        out.append(text.substr(start, pos - start));
        out.append(to);
        start = pos + from.size();
    }
}

std::string HexText(const std::uint8_t* bytes, std::size_t count, EHexCase letters,
                    std::string_view separator) {
    const char* digits = letters == EHexCase::Upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    out.reserve(count * (2 + separator.size()));
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            out += separator;
        }
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
    return out;
}

std::string PercentEncode(std::string_view text, const std::function<bool(unsigned char)>& kept) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (kept(c)) {
            out += ch;
        } else {
            out += '%';
            out += HexText(&c, 1);
        }
    }
    return out;
}

long long ToIntDef(std::string_view text, long long fallback) {
    const std::string t = Trim(text);
    if (t.empty()) {
        return fallback;
    }
    std::string_view v = t;
    if (v.front() == '+') {
        v.remove_prefix(1);
        if (v.empty() || v.front() == '-') {
            return fallback;
        }
    }
    long long value = 0;
    const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), value, 10);
    if (ec != std::errc() || ptr != v.data() + v.size()) {
        return fallback;
    }
    return value;
}

std::string FormatMessage(const std::string& text, const std::vector<std::string>& args) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size()) {
            const char next = text[i + 1];
            if (next == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (next >= '1' && next <= '9') {
                const auto index = static_cast<std::size_t>(next - '1');
                if (index < args.size()) {
                    out += args[index];
                }
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

} // namespace torvane::platform
