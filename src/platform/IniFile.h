#pragma once
// Profile-string (INI) reading and writing with the Windows rules: section and key names
// compared without regard to ASCII letter case and without surrounding blanks, the first
// occurrence of a key wins, values trimmed, a value in a matching pair of double or single
// quotes loses them, at most 2047 bytes of a value are returned. Lines may end in CR LF, LF
// or CR. Values are byte strings in whatever code page the file is written in.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvane::platform {

class TIniFile {
public:
    static constexpr std::size_t MaxValueBytes = 2047;
    // Files larger than this are read only up to this size (lines past it are not seen).
    static constexpr std::size_t MaxFileBytes = 16 * 1024 * 1024;

    // Reads the file now; a missing or unreadable file reads as empty.
    explicit TIniFile(std::string fileName);
    // An in-memory INI text, for data that never lies in a file.
    static TIniFile FromText(std::string_view text);

    [[nodiscard]] const std::string& FileName() const { return FFileName; }

    // The entry, or nothing when the section or the key is missing.
    [[nodiscard]] std::optional<std::string> Find(std::string_view section,
                                                  std::string_view key) const;
    [[nodiscard]] std::string ReadString(std::string_view section, std::string_view key,
                                         std::string_view defaultValue) const;
    [[nodiscard]] bool SectionExists(std::string_view section) const;

    // Writes the entry into the file at once: replaces the value of an existing key in
    // place, adds the key at the end of its section, or adds the section at the end of the
    // file. The file is created when missing and replaced atomically. False when the file
    // cannot be written; the file then stays as it was.
    [[nodiscard]] bool WriteString(std::string_view section, std::string_view key,
                                   std::string_view value);

    // Re-reads the file.
    void Reload();

    // The lines as read (without their line ends), each with the section it belongs to:
    // the name of the nearest header line at or above it, empty above the first. For
    // copying a file section by section by the same rules as the lookups.
    struct TLineInfo {
        std::string Text;
        std::string Section;
        bool Header = false;
    };
    [[nodiscard]] std::vector<TLineInfo> LinesWithSections() const;

private:
    TIniFile() = default;
    void Parse(std::string_view text);

    struct TLine {
        std::string Text;       // the raw line, without its line end
        int Kind = 0;           // 0 other, 1 section header, 2 entry
        std::string Name;       // section name or key, trimmed
        std::string Value;      // entry value as returned
    };
    std::string FFileName;
    std::vector<TLine> FLines;
};

// ASCII-only case-insensitive equality, as the profile reader compares names.
[[nodiscard]] bool SameTextAscii(std::string_view a, std::string_view b);
// Trims blanks and tabs at both ends.
[[nodiscard]] std::string_view TrimBlanks(std::string_view text);

} // namespace torvane::platform
