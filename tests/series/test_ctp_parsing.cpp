// What the CTP client reads without a camera: the PK2 package walked by its reader, and the
// search reply read the two ways the tool has always read it.

#include "Pk2Builder.h"
#include "series/CtpSearchReply.h"
#include "series/Pk2Package.h"

#include <gtest/gtest.h>

#include <sstream>

namespace torvane {
namespace {

using test::CmdSection;
using test::FileSection;
using test::Package;
using test::SectionHeader;

TEST(Pk2Reader, WalksSectionsAndNeverReadsPastABody) {
    std::istringstream in(Package(4, FileSection("a.bin", "12345") + CmdSection("ls") +
                                         SectionHeader("NOTE", 3) + "abc" +
                                         SectionHeader("CMD ", 9) + "cut"));
    TPk2Reader reader(in);
    ASSERT_TRUE(reader.ReadHeader());
    EXPECT_TRUE(reader.HasMagic());
    EXPECT_EQ(reader.SectionCount(), 4);

    TPk2Section s;
    ASSERT_TRUE(reader.NextSection(s));
    EXPECT_EQ(s.Kind, TPk2Kind::File);
    EXPECT_EQ(s.FileName, "a.bin");
    EXPECT_EQ(s.Size, 5u);
    char body[8] = {};
    EXPECT_FALSE(reader.ReadBody(body, 6)) << "more than the body holds";
    ASSERT_TRUE(reader.ReadBody(body, 2));
    ASSERT_TRUE(reader.ReadBody(body + 2, 3));
    EXPECT_EQ(std::string(body, 5), "12345");

    ASSERT_TRUE(reader.NextSection(s));
    EXPECT_EQ(s.Kind, TPk2Kind::Command);
    EXPECT_EQ(s.Size, 2u);
    ASSERT_TRUE(reader.SkipBody());
    ASSERT_TRUE(reader.NextSection(s));
    EXPECT_EQ(s.Kind, TPk2Kind::Other);
    EXPECT_EQ(s.Size, 3u);
    ASSERT_TRUE(reader.SkipBody());
    EXPECT_FALSE(reader.NextSection(s)) << "a body of 9 announced, 3 there";

    std::istringstream notPk2("PK3" + Package(0, "").substr(3));
    TPk2Reader other(notPk2);
    ASSERT_TRUE(other.ReadHeader());
    EXPECT_FALSE(other.HasMagic());
    std::istringstream shortHeader(Package(0, "").substr(0, 27));
    EXPECT_FALSE(TPk2Reader(shortHeader).ReadHeader());
}

TEST(CtpSearchReply, TheListAndTheVersionReadKeepTheirOwnRules) {
    const std::string reply = "REPLY * CTP/1.0\r\n-gw -ip 10.0.0.1\r\n-ip 10.0.0.2\r\n"
                              "-ip 10.0.0.3\r\n-version V 1.2.3.4 build\r\n";
    // The camera list: a key on the first line that begins with it.
    const ctp::TSearchReply list(reply, ctp::TSearchReply::TLineEnds::CrLf);
    EXPECT_EQ(list.LeadingKey(ctp::KeyIP), "10.0.0.2");
    EXPECT_EQ(list.LeadingKey(ctp::KeyGateway), "-ip 10.0.0.1");
    EXPECT_EQ(list.LeadingKey(ctp::KeyVersion), "V 1.2.3.4 build");
    EXPECT_FALSE(list.LeadingKey(ctp::KeyName).has_value());
    // The version read: a line belongs to the first key it holds anywhere, the last line
    // of a key counts, and the version is the value's second word with its blank.
    const TCTPDeviceRecord record = ParseCTPSearchReply(reply);
    EXPECT_EQ(record.IP, "10.0.0.3");
    EXPECT_EQ(record.Gateway, "");
    EXPECT_EQ(record.Version, "1.2.3.4 ");

    // Bare LF ends a line for the version read only.
    const std::string lf = "REPLY\n-ip 1.2.3.4\n";
    EXPECT_FALSE(ctp::TSearchReply(lf, ctp::TSearchReply::TLineEnds::CrLf)
                     .LeadingKey(ctp::KeyIP)
                     .has_value());
    EXPECT_EQ(ParseCTPSearchReply(lf).IP, "1.2.3.4");
    EXPECT_EQ(ctp::TSearchReply(lf, ctp::TSearchReply::TLineEnds::Any).Lines().size(), 2u);

    EXPECT_TRUE(ctp::IsSearchReply("REPLY"));
    EXPECT_FALSE(ctp::IsSearchReply("REPL"));
    EXPECT_FALSE(ctp::IsSearchReply("reply * CTP/1.0"));
}

} // namespace
} // namespace torvane
