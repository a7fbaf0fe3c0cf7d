#pragma once
// The message lookup and the language packs on disk. Every user-visible text of the tool
// comes from the current language's pack; nothing here writes a text of its own.
//
// Pack files lie in LanguageDir(), named after the program file with its extension
// replaced by ".l" and the language code ("torvane.len", "torvane.lcn", "torvane.lb5").
// Their bytes are in the pack's code page (GBK for "en" and "cn", Big5 for "b5"); every
// routine here hands out UTF-8.

#include "platform/IniFile.h"

#include <mutex>
#include <string>
#include <vector>

namespace torvane {

// --- state of the unit ------------------------------------------------------------------
[[nodiscard]] std::string CurrentLanguage();
// Stores the code as it is (start-up uses this for the stored code, checked or not).
void SetCurrentLanguage(const std::string& code);
[[nodiscard]] std::string LanguageDir();
void SetLanguageDir(const std::string& folder);
// The program file's name the pack names are made from (set by the pack holder).
[[nodiscard]] std::string ProgramFileName();
void SetProgramFileName(const std::string& name);

// --- packs ------------------------------------------------------------------------------
// The program file's name with its extension replaced by ".l" ("torvane" gives "torvane.l").
[[nodiscard]] std::string PackFileStem();
// LanguageDir() + PackFileStem() + code; empty while LanguageDir() is empty.
[[nodiscard]] std::string GetLanguageFileNameOf(const std::string& code);
[[nodiscard]] std::string GetLanguageFileName();
// Code page of a pack's bytes: "b5" Big5, "jp" Shift-JIS, every other pack GBK.
[[nodiscard]] int PackCodePage(const std::string& code);
// The language code of a pack file: the text after ".l" in its name.
[[nodiscard]] std::string LanguageCodeOfPack(const std::string& path);

// Releases the shared reader, empties the cache, makes code current; falls back to "en"
// when code has no pack file.
void SetLanguage(const std::string& code);

// [StrRes] text of key in the current language, cached; empty when missing. Any thread.
[[nodiscard]] std::string GetStrRes(const std::string& key);
// Any section's entry, uncached, escapes applied; empty when either name is empty.
[[nodiscard]] std::string GetLangString(const std::string& section, const std::string& key);
// [Global] "Name_" + code of the current pack, without escapes.
[[nodiscard]] std::string GetGlobalName(const std::string& code);

// The five escapes, in order: "$b" blank, "$c" "=", "$n" CR LF, "$$" "$", "$t" TAB.
[[nodiscard]] std::string ApplyEscapes(const std::string& text);
// The entry decoded from codePage to UTF-8, or defaultText (UTF-8) when missing; the
// escapes are applied to either.
[[nodiscard]] std::string ReadLangString(const platform::TIniFile& reader,
                                         const std::string& section, const std::string& key,
                                         const std::string& defaultText, int codePage);
[[nodiscard]] std::string ReadLangString(const platform::TIniFile& reader,
                                         const std::string& section, const std::string& key,
                                         const std::string& defaultText);

// The reader of the current pack shared by the window translation and the language list
// (main thread only); opened on first use, released by SetLanguage.
[[nodiscard]] const platform::TIniFile& LangIniFile();
void ReleaseLangIniFile();
// Held while a window is translated.
[[nodiscard]] std::mutex& TranslateLock();

// Appends the full paths of the pack files in LanguageDir() in folder order (a path the
// list already holds is not added again), then removes from the whole list every file
// whose [Global] section does not name the current language.
void ListLanguagePacks(std::vector<std::string>& list);
// The display name of a pack's language, in the current language.
[[nodiscard]] std::string GetLanguageDisplayName(const std::string& path);

// The host's message box with the texts of both keys; returns the button pressed.
int StrResMessageBox(const std::string& textKey, const std::string& captionKey, int flags);

// Empties the message cache (for the holder's teardown and tests).
void ClearStrResCache();

} // namespace torvane
