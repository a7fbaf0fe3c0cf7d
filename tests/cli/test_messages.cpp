// torvane-cli's messages: the placeholders, the look-up in the chosen language, and that
// every message the tool can say stands in all three packs with the same placeholders.

#include "cli/Messages.h"
#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "platform/Folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace torvane::cli {
namespace {

TEST(CliMessages, PlaceholdersTakeTheirArgumentsInAnyOrder) {
    EXPECT_EQ(FormatMessage("%2 before %1", {"a", "b"}), "b before a");
    EXPECT_EQ(FormatMessage("%1%1 100%% %3.", {"x"}), "xx 100% .") << "a missing argument is empty";
    EXPECT_EQ(FormatMessage("%s and %", {"x"}), "%s and %") << "other % stay";
    EXPECT_EQ(FormatMessage("%1", {"%2"}), "%2") << "arguments are not read again";
}

TEST(CliMessages, TextFollowsTheLanguageAndFallsBackToTheBuiltInPacks) {
    // No packs on disk: the built-in English pack speaks.
    ASSERT_TRUE(LanguageDir().empty());
    EXPECT_EQ(Text({"IDS_CLI_UNKNOWNOPTION", {"--x"}}), "unknown option --x");

    TfrmStrRes packs("cli_messages_test");
    SetLanguage("cn");
    EXPECT_EQ(Text({"IDS_CLI_UNKNOWNOPTION", {"--x"}}), "未知选项 --x");
    SetLanguage("b5");
    EXPECT_EQ(Text({"IDS_CLI_NOTEXT", {"NOPE", "b5"}}), "語言套件 b5 中沒有文字「NOPE」");
    EXPECT_EQ(Text({"IDS_CLI_PASSWORDPROMPT", {"admin", "192.0.2.1"}}),
              "admin@192.0.2.1 的密碼：");
    SetLanguage("en");
    EXPECT_EQ(Text({"IDS_CLI_PASSWORDPROMPT", {"admin", "192.0.2.1"}}),
              "Password for admin@192.0.2.1: ")
        << "the blank after the colon survives the pack";
    EXPECT_EQ(Text({"IDS_CLI_SEEHELP", {"torvane-cli"}}), " (see 'torvane-cli --help')");

    // A pack on disk that lacks a key: its built-in text is used.
    const std::string cnPack = GetLanguageFileNameOf("cn");
    ASSERT_TRUE(platform::WriteFileAtomic(cnPack, "[Global]\r\nName_cn=x\r\n[StrRes]\r\n"));
    SetLanguage("cn");
    EXPECT_EQ(Text({"IDS_CLI_WARNING", {}}), "警告");
}

std::set<std::string> Placeholders(const std::string& text) {
    std::set<std::string> found;
    const std::regex placeholder("%[1-9]");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), placeholder);
         it != std::sregex_iterator(); ++it) {
        found.insert(it->str());
    }
    return found;
}

// Every IDS_CLI_ key written in the sources of torvane-cli.
std::set<std::string> KeysInSources() {
    std::set<std::string> keys;
    const std::regex key(R"(IDS_CLI_[A-Z0-9_]+)");
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(TORVANE_SOURCE_DIR) + "/src/cli")) {
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        const std::string s = text.str();
        for (auto it = std::sregex_iterator(s.begin(), s.end(), key);
             it != std::sregex_iterator(); ++it) {
            keys.insert(it->str());
        }
    }
    return keys;
}

TEST(CliMessages, EveryMessageStandsInEveryPackWithTheSamePlaceholders) {
    const std::set<std::string> keys = KeysInSources();
    ASSERT_GT(keys.size(), 20u);
    const std::vector<std::string> english = BuiltInKeys("en");
    for (const std::string& k : english) {
        if (k.rfind("IDS_CLI_", 0) == 0) {
            EXPECT_EQ(keys.count(k), 1u) << k << " is in the packs but no source uses it";
        }
    }
    TfrmStrRes packs("cli_messages_test");
    for (const std::string& key : keys) {
        SetLanguage("en");
        const std::string en = GetStrRes(key);
        ASSERT_FALSE(en.empty()) << key << " is missing from the en pack";
        for (const char* lang : {"cn", "b5"}) {
            SetLanguage(lang);
            const std::string text = GetStrRes(key);
            EXPECT_FALSE(text.empty()) << key << " is missing from the " << lang << " pack";
            EXPECT_EQ(Placeholders(text), Placeholders(en)) << key << " in " << lang << ": " << text;
            EXPECT_NE(text, en) << key << " is not translated in " << lang;
        }
    }
}

} // namespace
} // namespace torvane::cli
