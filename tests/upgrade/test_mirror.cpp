// The firmware mirror against a loopback firmware server: a first run copies everything, a
// second fetches nothing, a changed package is fetched again, a package whose MD5 is wrong
// is not kept, and a server that goes away half-way leaves a mirror whose catalogues name
// only packages that are there with their MD5.

#include "i18n/Deployment.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "platform/Text.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestSupport.h"
#include "upgrade/Mirror.h"
#include "upgrade/md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <unistd.h>

namespace torvane {
namespace {

using test::THttpReply;

class MirrorTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dest = test::ScratchPath("mirror") + "/";
        Outside = test::ScratchPath("outside") + "/";
        ASSERT_TRUE(platform::ForceFolder(Outside));
    }
    void TearDown() override {
        (void)platform::RemovePath(Dest);
        (void)platform::RemovePath(Outside);
    }

    // Publishes a package and gives its catalogue section.
    std::string Publish(const std::string& folder, const std::string& section,
                        const std::string& file, const std::string& bytes,
                        const std::string& md5 = {}) {
        Server->Handle("/FM/" + folder + "/" + file, THttpReply::Ok(bytes, "application/zip"));
        const std::string kind = folder == "system" ? "Sys" : "App";
        return "[" + section + "]\r\n" + kind + "Ver=" + section + ".1\r\n" + kind +
               "File=" + file + "\r\nMD5=" + (md5.empty() ? Md5Hex(bytes) : md5) + "\r\n";
    }
    void Catalogue(const std::string& folder, const std::string& text) {
        Server->Handle("/FM/" + folder + "/firmware.txt", THttpReply::Ok(text, "text/plain"));
    }

    TMirrorResult Mirror(const std::vector<std::string>& oems = {},
                         const std::function<void(const TMirrorItem&)>& also = {}) {
        Events.clear();
        TMirror mirror(ParseFirmwareSource(Url), Dest, oems);
        return mirror.Run([&](const TMirrorItem& item) {
            Events.push_back(item);
            if (also) {
                also(item);
            }
        });
    }
    // "copied system/a.zip" for each event but the progress ones, in order.
    [[nodiscard]] std::vector<std::string> Said() const {
        std::vector<std::string> said;
        for (const TMirrorItem& e : Events) {
            const std::string where = e.Folder + "/" + e.File;
            switch (e.Event) {
            case EMirrorEvent::Copied:
                said.push_back("copied " + where);
                break;
            case EMirrorEvent::Unchanged:
                said.push_back("unchanged " + where);
                break;
            case EMirrorEvent::Refused:
                said.push_back("refused " + where);
                break;
            case EMirrorEvent::Failed:
                said.push_back("failed " + where);
                break;
            case EMirrorEvent::Catalogue: {
                std::string line = "catalogue " + where + " " + std::to_string(e.Sections);
                for (const auto& s : e.LeftOut) {
                    line += " -" + s;
                }
                for (const auto& s : e.KeptEarlier) {
                    line += " =" + s;
                }
                said.push_back(line);
                break;
            }
            case EMirrorEvent::Fetching:
                break;
            }
        }
        return said;
    }
    [[nodiscard]] std::size_t PackageRequests() const {
        std::size_t n = 0;
        for (const auto& r : Server->Requests()) {
            n += r.Path.ends_with(".zip") ? 1 : 0;
        }
        return n;
    }
    // Every section of the folder's catalogue copy names a package that is in the folder
    // with the section's MD5; and no fresh file was left behind. The section names.
    [[nodiscard]] std::vector<std::string> CheckedSections(const std::string& folder) const {
        const platform::TIniFile copy(Dest + folder + "/firmware.txt");
        std::vector<std::string> sections;
        for (const auto& line : copy.LinesWithSections()) {
            if (!line.Header) {
                continue;
            }
            sections.push_back(line.Section);
            const std::string file =
                copy.ReadString(line.Section, folder == "system" ? "SysFile" : "AppFile", "");
            if (file.empty()) {
                continue; // names no package
            }
            std::string bytes;
            EXPECT_TRUE(platform::ReadFileBytes(Dest + folder + "/" + file, bytes)) << file;
            EXPECT_EQ(Md5Hex(bytes), platform::LowerAscii(copy.ReadString(line.Section, "MD5", "")))
                << file;
        }
        for (const auto& e : platform::ListFolder(Dest + folder)) {
            EXPECT_NE(e.Name.front(), '.') << "left behind: " << e.Name;
        }
        return sections;
    }

    std::unique_ptr<test::TLoopbackHttpServer> Server =
        std::make_unique<test::TLoopbackHttpServer>();
    std::string Url = Server->Url("/FM/");
    std::string Dest;
    std::string Outside;
    std::vector<TMirrorItem> Events;
    test::TFakeSleeperScope Sleep{100, 50};
};

using Lines = std::vector<std::string>;

TEST_F(MirrorTest, AFirstRunCopiesEverythingAndASecondFetchesNothing) {
    const std::string system = "; maintained by hand\r\n" +
                               Publish("system", "1.2.3", "a.zip", "package A") +
                               Publish("system", "HD-200", "b.zip", "package B") +
                               Publish("system", "1.2.4", "a.zip", "package A") + // shared
                               "[notes]\r\ntext=no package here\r\n";
    Catalogue("system", system);
    Catalogue("abc", Publish("abc", "3.1.0", "ui.zip", "web pages"));

    TMirrorResult r = Mirror({"ABC", "abc"});
    EXPECT_TRUE(r.Complete());
    EXPECT_EQ(Said(), (Lines{"copied system/a.zip", "copied system/b.zip",
                             "catalogue system/firmware.txt 4", "copied abc/ui.zip",
                             "catalogue abc/firmware.txt 1"}));
    EXPECT_EQ(test::ReadWholeFile(Dest + "system/firmware.txt"), system) << "the source's bytes";
    EXPECT_EQ(test::ReadWholeFile(Dest + "system/b.zip"), "package B");
    EXPECT_EQ(CheckedSections("system"), (Lines{"1.2.3", "HD-200", "1.2.4", "notes"}));
    EXPECT_EQ(CheckedSections("abc"), Lines{"3.1.0"});
    EXPECT_EQ(PackageRequests(), 3u);

    // Nothing changed: nothing fetched but the catalogues.
    r = Mirror({"abc"});
    EXPECT_TRUE(r.Complete());
    EXPECT_EQ(r.Unchanged, 3u);
    EXPECT_EQ(PackageRequests(), 3u);
    EXPECT_EQ(Said(), (Lines{"unchanged system/a.zip", "unchanged system/b.zip",
                             "catalogue system/firmware.txt 4", "unchanged abc/ui.zip",
                             "catalogue abc/firmware.txt 1"}));

    // The mirror is a firmware source in its own right.
    const std::string first = Dest;
    Url = first;
    Dest = first.substr(0, first.size() - 1) + "-again/";
    r = Mirror({"abc"});
    EXPECT_TRUE(r.Complete());
    EXPECT_EQ(test::ReadWholeFile(Dest + "abc/ui.zip"), "web pages");
    EXPECT_EQ(test::ReadWholeFile(Dest + "system/firmware.txt"), system);
    (void)platform::RemovePath(Dest);
    Dest = first;
}

TEST_F(MirrorTest, ChangedAndBadPackagesAndAServerThatGoesAwayHalfWay) {
    Catalogue("system", Publish("system", "A", "a.zip", "A v1") +
                            Publish("system", "B", "b.zip", "B v1") +
                            Publish("system", "C", "c.zip", "C v1"));
    ASSERT_TRUE(Mirror().Complete());

    // A changes under the same name; B's new package does not match its catalogue; D is new
    // and does not match either; C stays.
    Catalogue("system", Publish("system", "A", "a.zip", "A v2") +
                            Publish("system", "B", "b.zip", "B v2", Md5Hex("something else")) +
                            Publish("system", "C", "c.zip", "C v1") +
                            Publish("system", "D", "d.zip", "D v1", Md5Hex("not D")));
    TMirrorResult r = Mirror();
    EXPECT_FALSE(r.Complete());
    EXPECT_EQ(Said(), (Lines{"refused system/b.zip", "unchanged system/c.zip",
                             "refused system/d.zip", "copied system/a.zip",
                             "catalogue system/firmware.txt 3 -D =B"}));
    const TMirrorItem refused = *std::find_if(Events.begin(), Events.end(), [](const auto& e) {
        return e.Event == EMirrorEvent::Refused;
    });
    EXPECT_EQ(refused.Refusal, EMirrorRefusal::Md5Mismatch);
    EXPECT_EQ(refused.Md5, Md5Hex("something else"));
    EXPECT_EQ(refused.ActualMd5, Md5Hex("B v2"));
    // B keeps its earlier entry and package; what did not match is not kept.
    EXPECT_EQ(test::ReadWholeFile(Dest + "system/a.zip"), "A v2");
    EXPECT_EQ(test::ReadWholeFile(Dest + "system/b.zip"), "B v1");
    EXPECT_FALSE(platform::FileExists(Dest + "system/d.zip"));
    EXPECT_EQ(CheckedSections("system"), (Lines{"A", "C", "B"}));

    // New releases; the server goes away once the first of them has come.
    Catalogue("system", Publish("system", "A", "a3.zip", "A v3") +
                            Publish("system", "C", "c3.zip", "C v3") +
                            Publish("system", "E", "e.zip", "E v1"));
    r = Mirror({}, [this](const TMirrorItem& item) {
        if (item.Event == EMirrorEvent::Fetching && item.File == "c3.zip") {
            Server.reset();
        }
    });
    EXPECT_FALSE(r.Complete());
    EXPECT_EQ(r.Failed, 2u);
    EXPECT_EQ(Said(), (Lines{"failed system/c3.zip", "failed system/e.zip", "copied system/a3.zip",
                             "catalogue system/firmware.txt 2 -E =C"}));
    EXPECT_EQ(CheckedSections("system"), (Lines{"A", "C"}));
    EXPECT_EQ(test::ReadWholeFile(Dest + "system/c.zip"), "C v1");

    // No server at all: the catalogue cannot be had, and the copy stays as it was.
    const std::string before = test::ReadWholeFile(Dest + "system/firmware.txt");
    r = Mirror();
    EXPECT_EQ(Said(), Lines{"failed system/firmware.txt"});
    EXPECT_EQ(test::ReadWholeFile(Dest + "system/firmware.txt"), before);
}

TEST_F(MirrorTest, NamesThatLeaveTheFolderLeftoversAndASecondMirror) {
    Catalogue("system", Publish("system", "up", "..", "x") +
                            "[out]\r\nSysFile=../../outside.zip\r\nMD5=" + Md5Hex("x") +
                            "\r\n[self]\r\nSysFile=FIRMWARE.TXT\r\nMD5=" + Md5Hex("x") +
                            "\r\n[nomd5]\r\nSysFile=n.zip\r\nMD5=\r\n" +
                            Publish("system", "hidden", ".h.zip.mirror", "x") +
                            Publish("system", "ok", "ok.zip", "fine"));
    // What an interrupted run left: its fresh names go; the user's other files stay.
    ASSERT_TRUE(platform::ForceFolder(Dest + "system"));
    ASSERT_TRUE(test::WriteWholeFile(Dest + "system/.ok.zip.1-2-3.mirror", "half"));
    ASSERT_TRUE(test::WriteWholeFile(Dest + "system/readme.txt", "mine"));

    TMirrorResult r = Mirror({"..", "a/b"});
    EXPECT_EQ(Said(), (Lines{"refused system/..", "refused system/../../outside.zip",
                             "refused system/FIRMWARE.TXT", "refused system/n.zip",
                             "refused system/.h.zip.mirror", "copied system/ok.zip",
                             "catalogue system/firmware.txt 1 -up -out -self -nomd5 -hidden",
                             "refused ../firmware.txt", "refused a/b/firmware.txt"}));
    EXPECT_EQ(CheckedSections("system"), Lines{"ok"});
    EXPECT_EQ(test::ReadWholeFile(Dest + "system/readme.txt"), "mine");
    EXPECT_TRUE(platform::ListFolder(Outside).empty());

    // Another mirror holds the folder: this one writes nothing.
    const int lock = ::open((Dest + TMirror::LockFileName).c_str(), O_RDWR);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    r = Mirror();
    EXPECT_EQ(r.Start, EMirrorStart::Busy);
    EXPECT_TRUE(Events.empty());
    ::close(lock);

    // A destination that cannot be made.
    const std::string first = Dest;
    ASSERT_TRUE(test::WriteWholeFile(Outside + "file", "x"));
    Dest = Outside + "file/sub/";
    r = Mirror();
    EXPECT_EQ(r.Start, EMirrorStart::NoFolder);
    EXPECT_FALSE(r.Complete());
    Dest = first;
}

} // namespace
} // namespace torvane
