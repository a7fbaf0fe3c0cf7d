#include "i18n/StrRes.h"

#include "platform/CodePage.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/Host.h"
#include "platform/Locked.h"
#include "platform/Text.h"

#include <memory>
#include <unordered_map>

namespace torvane {

namespace {

struct TUnitState {
    platform::TLocked<std::string> CurrentLanguage{"en"};
    platform::TLocked<std::string> LanguageDir;
    platform::TLocked<std::string> ProgramFileName;
};

TUnitState& State() {
    static TUnitState state;
    return state;
}

// StrResLock and StrResCache: keys folded to lower case.
std::mutex& StrResLock() {
    static std::mutex lock;
    return lock;
}

std::unordered_map<std::string, std::string>& StrResCache() {
    static std::unordered_map<std::string, std::string> cache;
    return cache;
}

std::unique_ptr<platform::TIniFile>& LangIniFileSlot() {
    static std::unique_ptr<platform::TIniFile> reader;
    return reader;
}

} // namespace

std::string CurrentLanguage() {
    return State().CurrentLanguage.Get();
}

void SetCurrentLanguage(const std::string& code) {
    State().CurrentLanguage.Set(code);
}

std::string LanguageDir() {
    return State().LanguageDir.Get();
}

void SetLanguageDir(const std::string& folder) {
    State().LanguageDir.Set(folder);
}

std::string ProgramFileName() {
    return State().ProgramFileName.With([](std::string& name) {
        if (name.empty()) {
            name = platform::FileNameOf(platform::ModulePath());
        }
        return name;
    });
}

void SetProgramFileName(const std::string& name) {
    State().ProgramFileName.Set(name);
}

std::string PackFileStem() {
    std::string name = ProgramFileName();
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.resize(dot);
    }
    return name + ".l";
}

std::string GetLanguageFileNameOf(const std::string& code) {
    const std::string dir = LanguageDir();
    if (dir.empty()) {
        return {};
    }
    return dir + PackFileStem() + code;
}

std::string GetLanguageFileName() {
    return GetLanguageFileNameOf(CurrentLanguage());
}

int PackCodePage(const std::string& code) {
    if (code == "b5") {
        return platform::CP_BIG5;
    }
    if (code == "jp") {
        return platform::CP_SHIFT_JIS;
    }
    return platform::CP_GBK;
}

std::string LanguageCodeOfPack(const std::string& path) {
    const std::string name = platform::FileNameOf(path);
    const auto pos = name.rfind(".l");
    return pos == std::string::npos ? std::string() : name.substr(pos + 2);
}

void SetLanguage(const std::string& code) {
    ReleaseLangIniFile();
    ClearStrResCache();
    SetCurrentLanguage(code);
    if (!platform::FileExists(GetLanguageFileName())) {
        SetCurrentLanguage("en");
    }
}

std::string ApplyEscapes(const std::string& text) {
    std::string s = platform::ReplaceAll(text, "$b", " ");
    s = platform::ReplaceAll(s, "$c", "=");
    s = platform::ReplaceAll(s, "$n", "\r\n");
    s = platform::ReplaceAll(s, "$$", "$");
    return platform::ReplaceAll(s, "$t", "\t");
}

std::string ReadLangString(const platform::TIniFile& reader, const std::string& section,
                           const std::string& key, const std::string& defaultText,
                           int codePage) {
    if (auto raw = reader.Find(section, key)) {
        return ApplyEscapes(platform::DecodeToUtf8(*raw, codePage));
    }
    return ApplyEscapes(defaultText);
}

std::string ReadLangString(const platform::TIniFile& reader, const std::string& section,
                           const std::string& key, const std::string& defaultText) {
    return ReadLangString(reader, section, key, defaultText, PackCodePage(CurrentLanguage()));
}

void ClearStrResCache() {
    std::lock_guard<std::mutex> g(StrResLock());
    StrResCache().clear();
}

std::string GetStrRes(const std::string& key) {
    const std::string folded = platform::LowerAscii(key);
    {
        std::lock_guard<std::mutex> g(StrResLock());
        const auto it = StrResCache().find(folded);
        if (it != StrResCache().end() && !it->second.empty()) {
            return it->second;
        }
    }
    std::string text;
    if (!key.empty()) {
        // Each lookup opens its own reader; the lock is never held while a file is read.
        const std::string language = CurrentLanguage();
        const platform::TIniFile reader(GetLanguageFileNameOf(language));
        text = ReadLangString(reader, "StrRes", key, "", PackCodePage(language));
    }
    std::lock_guard<std::mutex> g(StrResLock());
    if (text.empty()) {
        StrResCache().erase(folded); // a missing text is read again next time
    } else {
        StrResCache()[folded] = text;
    }
    return text;
}

std::string GetLangString(const std::string& section, const std::string& key) {
    if (section.empty() || key.empty()) {
        return {};
    }
    const std::string language = CurrentLanguage();
    const platform::TIniFile reader(GetLanguageFileNameOf(language));
    return ReadLangString(reader, section, key, "", PackCodePage(language));
}

std::string GetGlobalName(const std::string& code) {
    const std::string language = CurrentLanguage();
    const platform::TIniFile reader(GetLanguageFileNameOf(language));
    return platform::DecodeToUtf8(reader.ReadString("Global", "Name_" + code, ""),
                                  PackCodePage(language));
}

const platform::TIniFile& LangIniFile() {
    auto& slot = LangIniFileSlot();
    if (!slot) {
        slot = std::make_unique<platform::TIniFile>(GetLanguageFileName());
    }
    return *slot;
}

void ReleaseLangIniFile() {
    LangIniFileSlot().reset();
}

std::mutex& TranslateLock() {
    static std::mutex lock;
    return lock;
}

void ListLanguagePacks(std::vector<std::string>& list) {
    // The folder search appends to what the list already holds and skips a path that is
    // there; the check then goes over the whole list, last entry first.
    std::vector<platform::TFoundFile> found;
    found.reserve(list.size());
    for (const std::string& path : list) {
        found.push_back({path, 0});
    }
    platform::FindFiles(found, LanguageDir(), true, nullptr, false, "*.l*");
    const std::string language = CurrentLanguage();
    for (std::size_t i = found.size(); i-- > 0;) {
        const platform::TIniFile pack(found[i].Path);
        if (pack.ReadString("Global", "Name_" + language, "").empty()) {
            found.erase(found.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    list.clear();
    for (platform::TFoundFile& f : found) {
        list.push_back(std::move(f.Path));
    }
}

std::string GetLanguageDisplayName(const std::string& path) {
    return platform::DecodeToUtf8(
        LangIniFile().ReadString("Global", "Name_" + LanguageCodeOfPack(path), ""),
        PackCodePage(CurrentLanguage()));
}

int StrResMessageBox(const std::string& textKey, const std::string& captionKey, int flags) {
    return platform::Host().MessageBox(GetStrRes(textKey), GetStrRes(captionKey), flags);
}

} // namespace torvane
