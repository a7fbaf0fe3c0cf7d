#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "platform/Folders.h"
#include "platform/Host.h"
#include "support/TestHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>
#include <vector>

using namespace torvane;

namespace {

// Writes a pack of the current program's stem for code into the language folder.
void WritePack(const std::string& code, const std::string& text) {
    std::ofstream(GetLanguageFileNameOf(code), std::ios::binary) << text;
}

} // namespace

TEST(StrRes, EscapesRunInOrder) {
    EXPECT_EQ(ApplyEscapes("$b$b$bword"), "   word");
    EXPECT_EQ(ApplyEscapes("a$cb"), "a=b");
    EXPECT_EQ(ApplyEscapes("x$ny"), "x\r\ny");
    // "$$" becomes "$" before the TAB step runs, so "$$t" ends as a TAB...
    EXPECT_EQ(ApplyEscapes("$$t"), "\t");
    // ...and "$$b", "$$n" and "$$c" give "$" and the escape's own text.
    EXPECT_EQ(ApplyEscapes("$$b"), "$ ");
    EXPECT_EQ(ApplyEscapes("$$n"), "$\r\n");
    EXPECT_EQ(ApplyEscapes("$$c"), "$=");
    EXPECT_EQ(ApplyEscapes("cost $5"), "cost $5");
}

TEST(StrRes, LookupRulesOnAPackOfOurOwn) {
    TfrmStrRes holder("strres_rules");
    ASSERT_TRUE(holder.PacksWritten()) << holder.ErrorText();
    WritePack("zz", "[Global]\r\nName_zz=Test\r\n[StrRes]\r\n  IDS_A =  $b$bpadded  \r\n"
                    "IDS_EMPTY=\r\nids_case=lower\r\nIDS_DUP=first\r\nIDS_DUP=second\r\n"
                    "IDS_LONG=" + std::string(3000, 'x') + "\r\n");
    SetLanguage("zz");
    EXPECT_EQ(CurrentLanguage(), "zz");
    EXPECT_EQ(GetStrRes("IDS_A"), "  padded");      // blanks around the value are lost
    EXPECT_EQ(GetStrRes("IDS_EMPTY"), "");
    EXPECT_EQ(GetStrRes("IDS_ABSENT"), "");
    EXPECT_EQ(GetStrRes("IDS_CASE"), "lower");      // keys ignore case
    EXPECT_EQ(GetStrRes("IDS_DUP"), "first");       // the first occurrence counts
    EXPECT_EQ(GetStrRes("IDS_LONG").size(), 2047u); // cut at 2047 bytes
    EXPECT_EQ(GetStrRes(""), "");

    // A cached text survives the file changing; a missing one is read again.
    WritePack("zz", "[StrRes]\r\nIDS_A=changed\r\nIDS_ABSENT=now here\r\n");
    EXPECT_EQ(GetStrRes("ids_a"), "  padded");
    EXPECT_EQ(GetStrRes("IDS_ABSENT"), "now here");
    SetLanguage("zz"); // a language change empties the cache
    EXPECT_EQ(GetStrRes("IDS_A"), "changed");
}

TEST(StrRes, SetLanguageFallsBackToEnglish) {
    TfrmStrRes holder("strres_fallback");
    SetLanguage("jp");
    EXPECT_EQ(CurrentLanguage(), "en");
    SetLanguage("b5");
    EXPECT_EQ(CurrentLanguage(), "b5");
    EXPECT_EQ(GetStrRes("IDS_DEVCOUNT"), "???量：");
    SetLanguage("cn");
    EXPECT_EQ(GetStrRes("IDS_DOWNLOADERR"), "升级包下载失败!");
}

TEST(StrRes, PackListAndDisplayNames) {
    TfrmStrRes holder("strres_list");
    WritePack("xx", "[Global]\r\nName_xx=Other\r\n"); // names no shipped language
    SetLanguage("b5");
    std::vector<std::string> packs;
    ListLanguagePacks(packs);
    ASSERT_EQ(packs.size(), 3u);
    std::vector<std::string> codes;
    for (const auto& p : packs) {
        codes.push_back(LanguageCodeOfPack(p));
    }
    EXPECT_EQ(codes, (std::vector<std::string>{"b5", "cn", "en"}));
    EXPECT_EQ(GetLanguageDisplayName(packs[2]), "EngLish");
    EXPECT_EQ(GetLanguageDisplayName(packs[1]), "簡體中文");
    SetLanguage("en");
    EXPECT_EQ(GetLanguageDisplayName(packs[1]), "简体中文");

    // A list that already holds entries: a pack it holds is not listed twice, and every
    // entry is checked, the old ones too.
    const std::string stray = LanguageDir() + "stray.txt";
    WritePack("pl", "[Global]\r\nName_pl=Polski\r\n"); // does not name "en"
    std::vector<std::string> again{packs[1], stray, GetLanguageFileNameOf("pl")};
    ListLanguagePacks(again);
    std::vector<std::string> againCodes;
    for (const auto& p : again) {
        againCodes.push_back(LanguageCodeOfPack(p));
    }
    EXPECT_EQ(againCodes, (std::vector<std::string>{"cn", "b5", "en"}));
}

TEST(StrRes, HolderWritesAndDeletesPacksButSparesARunningCopy) {
    std::string folder;
    {
        TfrmStrRes first("strres_copies");
        folder = LanguageDir();
        ASSERT_FALSE(folder.empty());
        EXPECT_TRUE(platform::FileExists(folder + "strres_copies.len"));
        EXPECT_TRUE(platform::FileExists(folder + "strres_copies.lcn"));
        EXPECT_TRUE(platform::FileExists(folder + "strres_copies.lb5"));
        {
            // A second copy of the same program writes the same packs and, when it ends,
            // must leave them for the first.
            TfrmStrRes second("strres_copies");
        }
        EXPECT_TRUE(platform::FileExists(folder + "strres_copies.len"));
    }
    EXPECT_FALSE(platform::FolderExists(folder));
    EXPECT_EQ(LanguageDir(), "");
    EXPECT_EQ(GetStrRes("IDS_NOTE"), ""); // no packs: empty texts
}

TEST(StrRes, LookupsFromManyThreadsAgree) {
    TfrmStrRes holder("strres_threads");
    SetLanguage("cn");
    const std::string expected = "设备连接正常";
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 300; ++i) {
                if (GetStrRes(i % 2 ? "IDS_IPCCONNECTED" : "ids_ipcconnected") != expected) {
                    ++wrong;
                }
                if (GetStrRes("IDS_NOSUCHKEY") != "") {
                    ++wrong;
                }
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

TEST(StrRes, MessageBoxGoesThroughTheHost) {
    TfrmStrRes holder("strres_box");
    SetLanguage("en");
    test::TTestHost host;
    platform::SetHost(&host);
    host.ScriptAnswers({platform::IDOK});
    EXPECT_EQ(StrResMessageBox("IDS_UPGRADEINFO", "IDS_INFORMATION", 64), platform::IDOK);
    platform::SetHost(nullptr);
    ASSERT_EQ(host.Boxes().size(), 1u);
    EXPECT_EQ(host.Boxes()[0].Text, "upgrading firmware, please wait.");
    EXPECT_EQ(host.Boxes()[0].Caption, "INFORMATION");
    EXPECT_EQ(host.Boxes()[0].Flags, 64);
}
