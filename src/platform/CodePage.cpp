#include "platform/CodePage.h"

#include <cerrno>
#include <cstdlib>
#include <iconv.h>
#include <vector>

namespace torvane::platform {

namespace {

const char* IconvName(int codePage) {
    switch (codePage) {
    case CP_GBK:
        return "GBK";
    case CP_BIG5:
        return "BIG5";
    case CP_SHIFT_JIS:
        return "CP932";
    case CP_OEM_US:
        return "CP437";
    default:
        return nullptr;
    }
}

// Length of the valid UTF-8 sequence at bytes[i], or 0 when none starts there; sets
// incomplete when the bytes end inside an otherwise valid sequence.
std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t i, bool& incomplete) {
    incomplete = false;
    const auto c = static_cast<unsigned char>(bytes[i]);
    std::size_t len = 0;
    unsigned min = 0;
    if (c < 0x80) {
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        len = 2;
        min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    unsigned cp = c & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k) {
        if (i + k >= bytes.size()) {
            incomplete = true;
            return 0;
        }
        const auto d = static_cast<unsigned char>(bytes[i + k]);
        if ((d & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (d & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return len;
}

std::string CleanUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        bool incomplete = false;
        const std::size_t n = Utf8SequenceLength(bytes, i, incomplete);
        if (incomplete) {
            break;
        }
        if (n == 0) {
            out += '?';
            ++i;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

class TIconv {
public:
    TIconv(const char* to, const char* from) : FCd(::iconv_open(to, from)) {}
    ~TIconv() {
        if (Valid()) {
            ::iconv_close(FCd);
        }
    }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;
    [[nodiscard]] bool Valid() const { return FCd != reinterpret_cast<iconv_t>(-1); }
    // Converts the rest of in (in and inLeft move on), appending to out. Returns 0 when all
    // of it was converted, otherwise the errno of the first stop other than a full output
    // buffer: EILSEQ at a byte that is no character, EINVAL at a character cut at the end.
    [[nodiscard]] int Convert(const char*& in, std::size_t& inLeft, std::string& out) const {
        std::vector<char> buf(inLeft * 4 + 16);
        while (inLeft > 0) {
            char* source = const_cast<char*>(in);
            char* o = buf.data();
            std::size_t oLeft = buf.size();
            const std::size_t r = ::iconv(FCd, &source, &inLeft, &o, &oLeft);
            in = source;
            out.append(buf.data(), static_cast<std::size_t>(o - buf.data()));
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
                return errno;
            }
        }
        return 0;
    }

private:
    iconv_t FCd;
};

} // namespace

bool IsValidUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        bool incomplete = false;
        const std::size_t n = Utf8SequenceLength(bytes, i, incomplete);
        if (n == 0) {
            return false;
        }
        i += n;
    }
    return true;
}

std::string DecodeToUtf8(std::string_view bytes, int codePage) {
    const char* name = IconvName(codePage);
    if (name == nullptr) {
        return CleanUtf8(bytes);
    }
    TIconv cd("UTF-8", name);
    if (!cd.Valid()) {
        return CleanUtf8(bytes);
    }
    std::string out;
    const char* in = bytes.data();
    std::size_t inLeft = bytes.size();
    // A byte that is no character becomes "?"; a character cut at the end is left out.
    while (cd.Convert(in, inLeft, out) == EILSEQ) {
        out += '?';
        ++in;
        --inLeft;
    }
    return out;
}

bool EncodeFromUtf8(std::string_view utf8, int codePage, std::string& out) {
    if (!IsValidUtf8(utf8)) {
        return false;
    }
    const char* name = IconvName(codePage);
    if (codePage == CP_UTF8 || name == nullptr) {
        out.assign(utf8);
        return true;
    }
    TIconv cd(name, "UTF-8");
    if (!cd.Valid()) {
        return false;
    }
    std::string result;
    const char* in = utf8.data();
    std::size_t inLeft = utf8.size();
    if (cd.Convert(in, inLeft, result) != 0) {
        return false;
    }
    out = std::move(result);
    return true;
}

int OemCodePageOfLocale(std::string_view locale) {
    auto starts = [&](std::string_view p) { return locale.substr(0, p.size()) == p; };
    if (starts("zh_CN") || starts("zh_SG")) {
        return CP_GBK;
    }
    if (starts("zh_TW") || starts("zh_HK") || starts("zh_MO")) {
        return CP_BIG5;
    }
    if (starts("ja")) {
        return CP_SHIFT_JIS;
    }
    if (starts("fr_CA")) {
        return 863;
    }
    return CP_OEM_US;
}

int OemCodePage() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (v != nullptr && *v != '\0') {
            return OemCodePageOfLocale(v);
        }
    }
    return CP_OEM_US;
}

} // namespace torvane::platform
