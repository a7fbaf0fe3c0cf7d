#include "platform/IniFile.h"

#include "platform/Folders.h"

namespace torvane::platform {

namespace {

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view TrimBlanks(std::string_view text) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && IsBlank(text[b])) {
        ++b;
    }
    while (e > b && IsBlank(text[e - 1])) {
        --e;
    }
    return text.substr(b, e - b);
}

TIniFile::TIniFile(std::string fileName) : FFileName(std::move(fileName)) {
    Reload();
}

TIniFile TIniFile::FromText(std::string_view text) {
    TIniFile ini;
    ini.Parse(text);
    return ini;
}

void TIniFile::Reload() {
    std::string text;
    if (!FFileName.empty() && !ReadFileBytes(FFileName, text, MaxFileBytes)) {
        text.clear();
    }
    Parse(text);
}

void TIniFile::Parse(std::string_view text) {
    FLines.clear();
    // A UTF-8 byte-order mark would otherwise hide the first section header.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = pos;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') {
            ++end;
        }
        TLine line;
        line.Text = std::string(text.substr(pos, end - pos));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() &&
            text[end + 1] == '\n') {
            pos = end + 2;
        } else {
            pos = end + 1;
        }
        // The C interface of the profile reader sees a line only up to a zero byte.
        std::string_view body = line.Text;
        if (const auto z = body.find('\0'); z != std::string_view::npos) {
            body = body.substr(0, z);
        }
        body = TrimBlanks(body);
        if (!body.empty() && body.front() == '[') {
            const auto close = body.find(']');
            line.Kind = 1;
            line.Name = std::string(TrimBlanks(
                body.substr(1, close == std::string_view::npos ? std::string_view::npos
                                                               : close - 1)));
        } else if (const auto eq = body.find('='); eq != std::string_view::npos && eq > 0 &&
                                                   body.front() != ';') {
            line.Kind = 2;
            line.Name = std::string(TrimBlanks(body.substr(0, eq)));
            std::string_view value = TrimBlanks(body.substr(eq + 1));
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front()) {
                value = value.substr(1, value.size() - 2);
            }
            if (value.size() > MaxValueBytes) {
                value = value.substr(0, MaxValueBytes);
            }
            line.Value = std::string(value);
            if (line.Name.empty()) {
                line.Kind = 0;
            }
        }
        FLines.push_back(std::move(line));
    }
}

std::optional<std::string> TIniFile::Find(std::string_view section, std::string_view key) const {
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    bool inSection = false;
    for (const TLine& line : FLines) {
        if (line.Kind == 1) {
            inSection = SameTextAscii(line.Name, section);
        } else if (line.Kind == 2 && inSection && SameTextAscii(line.Name, key)) {
            return line.Value;
        }
    }
    return std::nullopt;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
    if (auto v = Find(section, key)) {
        return *v;
    }
    return std::string(defaultValue.substr(0, MaxValueBytes));
}

std::vector<TIniFile::TLineInfo> TIniFile::LinesWithSections() const {
    std::vector<TLineInfo> out;
    out.reserve(FLines.size());
    std::string section;
    for (const TLine& line : FLines) {
        if (line.Kind == 1) {
            section = line.Name;
        }
        out.push_back({line.Text, section, line.Kind == 1});
    }
    return out;
}

bool TIniFile::SectionExists(std::string_view section) const {
    section = TrimBlanks(section);
    for (const TLine& line : FLines) {
        if (line.Kind == 1 && SameTextAscii(line.Name, section)) {
            return true;
        }
    }
    return false;
}

bool TIniFile::WriteString(std::string_view section, std::string_view key,
                           std::string_view value) {
    if (FFileName.empty()) {
        return false;
    }
    // Start from what is on disk now, so that a write never drops lines another
    // program added since this object read the file.
    Reload();
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    std::string cleanValue;
    for (char c : value) {
        // A line end inside a value would split the entry.
        cleanValue += (c == '\r' || c == '\n' || c == '\0') ? ' ' : c;
    }
    const std::string entry = std::string(key) + "=" + cleanValue;

    std::vector<std::string> out;
    out.reserve(FLines.size() + 3);
    bool inSection = false;
    bool sectionSeen = false;
    bool written = false;
    std::size_t lastEntryOfSection = 0; // index in out after which to insert
    for (const TLine& line : FLines) {
        if (line.Kind == 1) {
            if (inSection && !written) {
                out.insert(out.begin() + static_cast<std::ptrdiff_t>(lastEntryOfSection),
                           entry);
                written = true;
            }
            inSection = !sectionSeen && SameTextAscii(line.Name, section);
            if (inSection) {
                sectionSeen = true;
            }
            out.push_back(line.Text);
            if (inSection) {
                lastEntryOfSection = out.size();
            }
            continue;
        }
        if (inSection && !written && line.Kind == 2 && SameTextAscii(line.Name, key)) {
            out.push_back(line.Name + "=" + cleanValue);
            written = true;
            continue;
        }
        out.push_back(line.Text);
        if (inSection && !TrimBlanks(line.Text).empty()) {
            lastEntryOfSection = out.size();
        }
    }
    if (inSection && !written) {
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(lastEntryOfSection), entry);
        written = true;
    }
    if (!written) {
        if (!out.empty() && !TrimBlanks(out.back()).empty()) {
            out.emplace_back();
        }
        std::string header = "[";
        header.append(section);
        header += ']';
        out.push_back(std::move(header));
        out.push_back(entry);
    }
    std::string text;
    for (const std::string& l : out) {
        text += l;
        text += "\r\n";
    }
    if (!WriteFileAtomic(FFileName, text)) {
        return false;
    }
    Parse(text);
    return true;
}

} // namespace torvane::platform
