#include "platform/CodePage.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace p = torvane::platform;

TEST(Folders, PrivateTempFolderIsRefusedWhenUnsafe) {
    const std::string temp = p::TempFolder();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), '/');
    struct stat st {};
    ASSERT_EQ(::stat(temp.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A planted link or a folder open to others is never used.
    const std::string base = temp + "shared";
    p::ForceFolder(base);
    const std::string saved = std::getenv("TMPDIR");
    ::setenv("TMPDIR", base.c_str(), 1);
    const std::string name = base + "/torvane-" + std::to_string(::getuid());
    ASSERT_EQ(::symlink("/", name.c_str()), 0);
    EXPECT_EQ(p::TempFolder(), "");
    p::RemoveFile(name);
    ASSERT_EQ(::mkdir(name.c_str(), 0777), 0);
    ::chmod(name.c_str(), 0777);
    EXPECT_EQ(p::TempFolder(), "");
    ::chmod(name.c_str(), 0700);
    EXPECT_EQ(p::TempFolder(), name + "/");
    ::setenv("TMPDIR", saved.c_str(), 1);
    p::DeleteFolder(base, true);
}

TEST(Folders, RuntimeFolderIsPerUserWhateverTheTemporaryFolder) {
    const std::string savedTmp = std::getenv("TMPDIR");
    const char* savedRunEnv = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedRun = savedRunEnv != nullptr ? savedRunEnv : "";
    const std::string uid = std::to_string(::getuid());
    const std::string fallback = "/tmp/torvane-runtime-" + uid + "/";

    const std::string run = p::TempFolder() + "run";
    ASSERT_TRUE(p::ForceFolder(run));
    ASSERT_EQ(::chmod(run.c_str(), 0700), 0);
    ::setenv("XDG_RUNTIME_DIR", (run + "/").c_str(), 1);
    EXPECT_EQ(p::RuntimeFolder(), run + "/torvane/");
    struct stat st {};
    ASSERT_EQ(::lstat((run + "/torvane").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Another TMPDIR, or one whose private folder is refused, changes nothing.
    const std::string planted = p::TempFolder() + "planted";
    ASSERT_TRUE(p::ForceFolder(planted));
    ASSERT_EQ(::symlink("/", (planted + "/torvane-" + uid).c_str()), 0);
    ::setenv("TMPDIR", planted.c_str(), 1);
    EXPECT_EQ(p::TempFolder(), "");
    EXPECT_EQ(p::RuntimeFolder(), run + "/torvane/");
    ::setenv("TMPDIR", savedTmp.c_str(), 1);

    // A session folder that others may write to, a relative one or none: the machine's
    // own /tmp, never TMPDIR.
    ASSERT_EQ(::chmod(run.c_str(), 0777), 0);
    EXPECT_EQ(p::RuntimeFolder(), fallback);
    ASSERT_EQ(::chmod(run.c_str(), 0700), 0);
    ::setenv("XDG_RUNTIME_DIR", "relative/run", 1);
    EXPECT_EQ(p::RuntimeFolder(), fallback);
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(p::RuntimeFolder(), fallback);
    ASSERT_EQ(::lstat(fallback.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A link in place of our folder is never followed.
    ::setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
    p::DeleteFolder(run + "/torvane", true);
    ASSERT_EQ(::symlink(planted.c_str(), (run + "/torvane").c_str()), 0);
    EXPECT_EQ(p::RuntimeFolder(), fallback);

    if (savedRunEnv != nullptr) {
        ::setenv("XDG_RUNTIME_DIR", savedRun.c_str(), 1);
    } else {
        ::unsetenv("XDG_RUNTIME_DIR");
    }
    p::DeleteFolder(run, true);
    p::DeleteFolder(planted, true);
}

TEST(Folders, DeleteFolderNeverFollowsLinks) {
    const std::string temp = p::TempFolder();
    const std::string outside = temp + "outside/";
    const std::string tree = temp + "tree/";
    ASSERT_TRUE(p::ForceFolder(outside));
    std::ofstream(outside + "keep.txt") << "x";
    ASSERT_TRUE(p::ForceFolder(tree + "sub/deeper"));
    std::ofstream(tree + "sub/deeper/a.txt") << "a";
    std::ofstream(tree + "b.txt") << "b";
    ::chmod((tree + "b.txt").c_str(), 0444);
    ASSERT_EQ(::symlink(outside.c_str(), (tree + "link").c_str()), 0);
    ASSERT_EQ(::symlink((outside + "keep.txt").c_str(), (tree + "filelink").c_str()), 0);

    p::DeleteFolder(tree, true);
    EXPECT_FALSE(p::FolderExists(tree));
    EXPECT_TRUE(p::FileExists(outside + "keep.txt"));

    // A link given as the folder itself is removed as a link.
    ASSERT_EQ(::symlink(outside.c_str(), (temp + "alias").c_str()), 0);
    p::DeleteFolder(temp + "alias/", true);
    EXPECT_FALSE(p::IsSymbolicLink(temp + "alias"));
    EXPECT_TRUE(p::FileExists(outside + "keep.txt"));
    p::DeleteFolder(outside, true);
    p::DeleteFolder("", true); // nothing happens
}

TEST(Folders, FindFilesMasksAndDuplicates) {
    const std::string dir = p::TempFolder() + "find/";
    ASSERT_TRUE(p::ForceFolder(dir + "x.lfolder"));
    std::ofstream(dir + "tool.len") << "1";
    std::ofstream(dir + "tool.LCN") << "1";
    std::ofstream(dir + "other.txt") << "1";
    std::ofstream(dir + "x.lfolder/inner.len") << "1";
    std::vector<p::TFoundFile> found;
    p::FindFiles(found, dir, true, nullptr, false, "*.l*");
    ASSERT_EQ(found.size(), 2u); // never the folder, even though it matches
    EXPECT_EQ(found[0].Path, dir + "tool.LCN");
    EXPECT_EQ(found[1].Path, dir + "tool.len");

    found.clear();
    p::FindFiles(found, dir.substr(0, dir.size() - 1), true, nullptr, false, "*.len;tool.*");
    EXPECT_EQ(found.size(), 2u); // tool.len matched by both masks, listed once

    found.clear();
    p::FindFiles(found, dir, true, nullptr, true, "*.len|*.txt");
    EXPECT_EQ(found.size(), 3u);
    found.clear();
    p::FindFiles(
        found, dir, true, [] { return false; }, true, "*.len");
    EXPECT_EQ(found.size(), 1u);
    found.clear();
    p::FindFiles(found, "", true, nullptr, true, "*.*");
    EXPECT_TRUE(found.empty());
    p::DeleteFolder(dir, true);

    EXPECT_TRUE(p::MatchesMask("ABC.TXT", "a?c.*"));
    EXPECT_TRUE(p::MatchesMask("noext", "*.*"));
    EXPECT_FALSE(p::MatchesMask("abc", "*.l*"));
}

TEST(Folders, ForceFolderAndAppDataFolder) {
    const std::string base = p::TempFolder() + "force";
    EXPECT_TRUE(p::ForceFolder(""));
    EXPECT_TRUE(p::ForceFolder(base + "/a/b")); // the last level without "/" too
    EXPECT_TRUE(p::FolderExists(base + "/a/b"));
    p::DeleteFolder(base, true);

    const std::string cfg = p::ConfigFolder();
    ASSERT_FALSE(cfg.empty());
    EXPECT_EQ(p::AppDataFolderOf("tool.exe", false), cfg + "tool/");
    EXPECT_EQ(p::AppDataFolderOf("torvane", false), cfg + "torvane/"); // always a separator
    EXPECT_EQ(p::AppDataFolderOf("a.b", false), cfg + "a.b/");
}

TEST(Text, SplittingTrimmingAndNumbers) {
    std::vector<std::string> parts;
    p::SplitText("", ";", parts);
    p::SplitText("a;;b;", ";", parts);
    EXPECT_EQ(parts, (std::vector<std::string>{"", "a", "", "b", ""}));
    EXPECT_EQ(p::Trim("  x \t"), "x");
    EXPECT_EQ(p::ToIntDef(" 81 ", 0), 81);
    EXPECT_EQ(p::ToIntDef("8a", -1), -1);
    EXPECT_EQ(p::ToIntDef("-5", 0), -5);
    EXPECT_EQ(p::ToIntDef("", 7), 7);
    EXPECT_EQ(p::ToIntDef("99999999999999999999", 3), 3);
    EXPECT_LT(p::CompareTextAscii("abc", "ABD"), 0);
    EXPECT_EQ(p::CompareTextAscii("Abc", "aBC"), 0);
    EXPECT_LT(p::CompareTextAscii("ab", "abc"), 0);
    // Case folding is ASCII only: the bytes of other characters stay as they are.
    EXPECT_EQ(p::LowerAscii("AbZ\xC3\x84"), "abz\xC3\x84");
    EXPECT_EQ(p::UpperAscii("azA\xC3\xA4"), "AZA\xC3\xA4");
    EXPECT_GT(p::CompareTextAscii("\xC3", "z"), 0) << "bytes above 0x7F sort after letters";

    const std::uint8_t bytes[] = {0x00, 0x1A, 0xFF};
    EXPECT_EQ(p::HexText(bytes, 3), "001AFF");
    EXPECT_EQ(p::HexText(bytes, 3, p::EHexCase::Lower, ":"), "00:1a:ff");
    EXPECT_EQ(p::HexText(bytes, 0), "");
    const auto letters = [](unsigned char c) { return c >= 'a' && c <= 'z'; };
    EXPECT_EQ(p::PercentEncode(std::string("a b\0%\xFF", 6), letters), "a%20b%00%25%FF");
}

TEST(CodePage, DecodingAndTheOemCodePage) {
    std::string gbk;
    ASSERT_TRUE(p::EncodeFromUtf8("升级包", p::CP_GBK, gbk));
    EXPECT_EQ(gbk.size(), 6u);
    EXPECT_EQ(p::DecodeToUtf8(gbk, p::CP_GBK), "升级包");
    // A value cut in the middle of a character loses only that character.
    EXPECT_EQ(p::DecodeToUtf8(gbk.substr(0, 5), p::CP_GBK), "升级");
    // A byte that is no character becomes "?" and the rest is still read.
    EXPECT_EQ(p::DecodeToUtf8(gbk.substr(0, 2) + "\xFF" + gbk.substr(2), p::CP_GBK), "升?级包");
    std::string big5;
    ASSERT_TRUE(p::EncodeFromUtf8("繁體", p::CP_BIG5, big5));
    EXPECT_EQ(p::DecodeToUtf8(big5, p::CP_BIG5), "繁體");
    EXPECT_FALSE(p::EncodeFromUtf8("\xFF", p::CP_GBK, big5));
    EXPECT_EQ(p::DecodeToUtf8("ok\xFF", p::CP_UTF8), "ok?");
    EXPECT_TRUE(p::IsValidUtf8("升"));
    EXPECT_FALSE(p::IsValidUtf8("\xE5\x8D"));

    EXPECT_EQ(p::OemCodePageOfLocale("zh_CN.UTF-8"), 936);
    EXPECT_EQ(p::OemCodePageOfLocale("zh_SG"), 936);
    EXPECT_EQ(p::OemCodePageOfLocale("zh_TW.UTF-8"), 950);
    EXPECT_EQ(p::OemCodePageOfLocale("zh_HK"), 950);
    EXPECT_EQ(p::OemCodePageOfLocale("ja_JP.UTF-8"), 932);
    EXPECT_EQ(p::OemCodePageOfLocale("fr_CA"), 863);
    EXPECT_EQ(p::OemCodePageOfLocale("de_DE"), 437);
    EXPECT_EQ(p::OemCodePageOfLocale("C.UTF-8"), 437);
}
