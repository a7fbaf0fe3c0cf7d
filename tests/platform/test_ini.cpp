#include "platform/Folders.h"
#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <fstream>

using torvane::platform::TIniFile;

TEST(IniFile, ProfileReaderRules) {
    const TIniFile ini = TIniFile::FromText("\xEF\xBB\xBF[ Global ]\r\n"
                                            "  Name_en =  English  \r\n"
                                            "quoted=\"  kept  \"\r\n"
                                            "single='x'\r\n"
                                            "unbalanced=\"half\r\n"
                                            "dup=first\r\n"
                                            "dup=second\r\n"
                                            "noequals\r\n"
                                            "=novalue\r\n"
                                            "[other]\rcr=only\rnext=line\r"
                                            "[Global]\nlate=found\n");
    EXPECT_EQ(ini.ReadString("global", "NAME_EN", "-"), "English");
    EXPECT_EQ(ini.ReadString("Global", "quoted", "-"), "  kept  ");
    EXPECT_EQ(ini.ReadString("Global", "single", "-"), "x");
    EXPECT_EQ(ini.ReadString("Global", "unbalanced", "-"), "\"half");
    EXPECT_EQ(ini.ReadString("Global", "dup", "-"), "first");
    EXPECT_EQ(ini.ReadString("Global", "noequals", "-"), "-");
    EXPECT_EQ(ini.ReadString("other", "cr", "-"), "only");
    EXPECT_EQ(ini.ReadString("other", "next", "-"), "line");
    EXPECT_EQ(ini.ReadString("Global", "late", "-"), "found");
    EXPECT_EQ(ini.ReadString("missing", "x", "dflt"), "dflt");
    EXPECT_TRUE(ini.SectionExists("OTHER"));
}

TEST(IniFile, MalformedInputNeverBreaksTheReader) {
    std::string junk = "[s]\r\nk=v";
    junk += '\0';
    junk += "tail\r\n";
    junk += "big=" + std::string(1 << 20, 'y') + "\r\n";
    junk += "[unclosed\r\nq=1\r\n";
    const TIniFile ini = TIniFile::FromText(junk);
    EXPECT_EQ(ini.ReadString("s", "k", "-"), "v"); // a zero byte ends the line's text
    EXPECT_EQ(ini.ReadString("s", "big", "-").size(), TIniFile::MaxValueBytes);
    EXPECT_EQ(ini.ReadString("unclosed", "q", "-"), "1");

    const TIniFile missing("/nonexistent/folder/file.ini");
    EXPECT_EQ(missing.ReadString("a", "b", "d"), "d");
}

TEST(IniFile, WriterReplacesInPlaceAndAppends) {
    const std::string path = torvane::platform::TempFolder() + "writer.ini";
    std::ofstream(path, std::ios::binary)
        << "; note\r\n[Global]\r\nlan=en\r\nother=1\r\n\r\n[Next]\r\nz=9\r\n";
    TIniFile ini(path);
    ASSERT_TRUE(ini.WriteString("global", "LAN", "cn"));
    ASSERT_TRUE(ini.WriteString("Global", "added", "a b"));
    ASSERT_TRUE(ini.WriteString("Fresh", "k", "line\r\nbreak"));
    std::string text;
    ASSERT_TRUE(torvane::platform::ReadFileBytes(path, text));
    EXPECT_EQ(text, "; note\r\n[Global]\r\nlan=cn\r\nother=1\r\nadded=a b\r\n\r\n[Next]\r\nz=9\r\n"
                    "\r\n[Fresh]\r\nk=line  break\r\n");
    EXPECT_EQ(TIniFile(path).ReadString("Global", "lan", ""), "cn");

    TIniFile blocked(torvane::platform::TempFolder() + "no/such/folder/x.ini");
    EXPECT_FALSE(blocked.WriteString("a", "b", "c"));
    torvane::platform::RemoveFile(path);
}
