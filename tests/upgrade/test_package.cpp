// The package checks (digest, unpacking) and the catalogue read and package download
// against a loopback firmware server.

#include "i18n/Deployment.h"
#include "platform/Folders.h"
#include "platform/Host.h"
#include "platform/Text.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"
#include "upgrade/PackageBuilder.h"
#include "upgrade/Tools.h"
#include "upgrade/Digest.h"
#include "upgrade/Unzip.h"
#include "upgrade/md5.h"
#include "upgrade/uIUpgrade.h"
#include "upgrade/uIUpgradeOpt.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fcntl.h>
#include <unistd.h>

namespace torvane {
namespace {

using test::BuildZip;
using test::ReadWholeFile;
using test::WriteWholeFile;

// Data that deflates, but not to nothing.
std::string Payload(std::size_t size, std::uint32_t seed) {
    std::string data(size, '\0');
    std::uint32_t x = seed;
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        data[i] = static_cast<char>("firmware"[(x >> 16) % 8] + ((x >> 28) & 1));
    }
    return data;
}

void PutLittleEndian32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

// Sets the uncompressed size that the central directory records for every entry.
void ForgeDeclaredSizes(const std::string& path, std::uint32_t size) {
    std::string bytes = ReadWholeFile(path);
    for (auto pos = bytes.find("PK\x01\x02"); pos != std::string::npos;
         pos = bytes.find("PK\x01\x02", pos + 4)) {
        PutLittleEndian32(bytes, pos + 24, size);
    }
    ASSERT_TRUE(WriteWholeFile(path, bytes));
}

std::string Sha256OfText(const std::string& text) {
    TDigest sha(EDigest::Sha256);
    sha.Update(text.data(), text.size());
    return HexOf(sha.Final());
}

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        Base = test::ScratchPath("pkg") + "/";
        Dest = Base + "dest/";
        Outside = Base + "outside/";
        ASSERT_TRUE(platform::MakeFolder(Base));
        ASSERT_TRUE(platform::MakeFolder(Dest));
        ASSERT_TRUE(platform::MakeFolder(Outside));
        Package = Base + "package.zip";
    }
    void TearDown() override { RemoveTree(Base); }

    static void RemoveTree(const std::string& folder) {
        for (const auto& e : platform::ListFolder(folder)) {
            if (e.IsFolder) {
                RemoveTree(folder + e.Name + "/");
            } else {
                (void)platform::RemoveFile(folder + e.Name);
            }
        }
        (void)platform::RemoveFolder(folder);
    }
    [[nodiscard]] static std::vector<std::string> Names(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& e : platform::ListFolder(folder)) {
            names.push_back(e.Name);
        }
        return names;
    }

    std::string Base;
    std::string Dest;
    std::string Outside;
    std::string Package;
};

TEST(Md5Test, DigestOfFilesAndOfNoData) {
    const std::string path = test::ScratchPath("md5");
    ASSERT_TRUE(WriteWholeFile(path, "abc"));
    EXPECT_TRUE(TUpgradeOpt::CheckMd5(path, "900150983cd24fb0d6963f7d28e17f72"));
    EXPECT_TRUE(TUpgradeOpt::CheckMd5(path, "900150983CD24FB0D6963F7D28E17F72"));
    EXPECT_FALSE(TUpgradeOpt::CheckMd5(path, " 900150983cd24fb0d6963f7d28e17f72"));
    EXPECT_FALSE(TUpgradeOpt::CheckMd5(path, "d41d8cd98f00b204e9800998ecf8427e"));

    // Larger than one read, so the pieces are joined correctly.
    const std::string big = Payload(3 * 1024 * 1024 + 17, 7);
    ASSERT_TRUE(WriteWholeFile(path, big));
    EXPECT_TRUE(TUpgradeOpt::CheckMd5(path, Md5Hex(big)));

    ASSERT_TRUE(WriteWholeFile(path, ""));
    EXPECT_TRUE(TUpgradeOpt::CheckMd5(path, "d41d8cd98f00b204e9800998ecf8427e"));
    ASSERT_TRUE(platform::RemoveFile(path));
    EXPECT_TRUE(TUpgradeOpt::CheckMd5(path, "D41D8CD98F00B204E9800998ECF8427E"));
}

TEST_F(PackageTest, UnpacksOnlyTheTargetEntryFromTheTop) {
    // More 1 MiB pieces than the digest thread has buffers, so they are reused in order.
    const std::string firmware = Payload(7 * 1024 * 1024 + 5, 1);
    // A package that also carries another release's firmware, notes and folders.
    ASSERT_TRUE(BuildZip(Package, {{"fw.bin", firmware},
                                   {"fw-2.0.bin", "another release"},
                                   {"notes.txt", "stored", false},
                                   {"docs/", ""},
                                   {"deep/er/x.txt", "x"}}));
    ASSERT_TRUE(WriteWholeFile(Dest + "fw.bin", "old firmware"));
    TUnpackedFile unpacked;
    std::string error;
    ASSERT_TRUE(UnzipEntry(Package, Dest + "fw.bin", MaxUnpackedBytes, unpacked, error)) << error;
    EXPECT_EQ(ReadWholeFile(Dest + "fw.bin"), firmware); // replaced
    EXPECT_EQ(Names(Dest), std::vector<std::string>{"fw.bin"}) << "nothing else is written";
    EXPECT_EQ(unpacked.Size, firmware.size());
    std::string sha;
    std::uint64_t size = 0;
    platform::TFile unpackedFile = platform::TFile::OpenForReading(Dest + "fw.bin");
    ASSERT_TRUE(unpackedFile.IsOpen());
    EXPECT_TRUE(Sha256OfFile(unpackedFile, sha, size));
    EXPECT_EQ(unpacked.Sha256, sha);
    EXPECT_EQ(Sha256OfText("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    // The one asked for, and no other.
    EXPECT_TRUE(TUpgradeOpt::UnzipPackage(Package, Dest + "fw-2.0.bin"));
    EXPECT_EQ(Names(Dest), (std::vector<std::string>{"fw-2.0.bin", "fw.bin"}));

    // In a subfolder of the archive, or under another name: not there, nothing written.
    RemoveTree(Dest);
    ASSERT_TRUE(platform::MakeFolder(Dest));
    ASSERT_TRUE(BuildZip(Package, {{"sub/fw.bin", "firmware"}, {"fw.bin/", ""}}));
    EXPECT_FALSE(TUpgradeOpt::UnzipPackage(Package, Dest + "fw.bin"));
    EXPECT_FALSE(TUpgradeOpt::UnzipPackage(Package, Dest + "other.bin"));
    EXPECT_TRUE(Names(Dest).empty());

    // Not a ZIP archive, or none at all.
    ASSERT_TRUE(WriteWholeFile(Package, "PK but not really an archive"));
    EXPECT_FALSE(TUpgradeOpt::UnzipPackage(Package, Dest + "fw.bin"));
    EXPECT_FALSE(TUpgradeOpt::UnzipPackage(Base + "missing.zip", Dest + "fw.bin"));
    EXPECT_TRUE(Names(Dest).empty());
}

TEST_F(PackageTest, RefusesLinkEntries) {
    // The firmware entry itself stored as a link, or any other entry: the whole package is
    // refused and nothing is written (never a small file holding the link's target).
    ASSERT_TRUE(WriteWholeFile(Outside + "victim", "keep"));
    for (const bool linkIsTarget : {true, false}) {
        SCOPED_TRACE(linkIsTarget);
        std::vector<test::TZipEntry> entries;
        if (linkIsTarget) {
            entries.push_back({"fw.bin", Outside + "victim", true, true});
        } else {
            entries.push_back({"fw.bin", "firmware"});
            entries.push_back({"readme", "/etc/passwd", false, true});
        }
        ASSERT_TRUE(BuildZip(Package, entries));
        TUnpackedFile unpacked;
        std::string error;
        EXPECT_FALSE(UnzipEntry(Package, Dest + "fw.bin", MaxUnpackedBytes, unpacked, error));
        EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
        EXPECT_TRUE(Names(Dest).empty());
        EXPECT_EQ(ReadWholeFile(Outside + "victim"), "keep");
    }
}

TEST_F(PackageTest, ReplacesAFolderOrLinkInTheTargetsPlace) {
    ASSERT_TRUE(BuildZip(Package, {{"fw.bin", "new firmware"}}));
    ASSERT_TRUE(platform::MakeFolder(Dest + "fw.bin"));
    ASSERT_TRUE(platform::MakeFolder(Dest + "fw.bin/inner"));
    ASSERT_TRUE(WriteWholeFile(Dest + "fw.bin/inner/f", "junk"));
    ASSERT_EQ(::symlink(Outside.c_str(), (Dest + "fw.bin/out").c_str()), 0);
    ASSERT_TRUE(WriteWholeFile(Outside + "victim", "keep"));
    EXPECT_TRUE(TUpgradeOpt::UnzipPackage(Package, Dest + "fw.bin"));
    EXPECT_EQ(ReadWholeFile(Dest + "fw.bin"), "new firmware");
    EXPECT_EQ(ReadWholeFile(Outside + "victim"), "keep") << "a link inside is removed as a link";
    EXPECT_EQ(Names(Dest), std::vector<std::string>{"fw.bin"});
}

TEST_F(PackageTest, RefusesNamesThatLeaveTheFolder) {
    for (const std::string bad :
         {"../x", "/abs", "C:x", "a\\b", "ok/../../x", "..", "./", "sub/..\\x"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(IsSafeEntryName(bad));
        if (bad == "./" || bad == "..") {
            continue; // libzip will not store these as file entries
        }
        ASSERT_TRUE(BuildZip(Package, {{"fw.bin", "firmware"}, {bad, "escaped"}}));
        EXPECT_FALSE(TUpgradeOpt::UnzipPackage(Package, Dest + "fw.bin"));
        // The archive is refused as a whole: nothing is written, inside or out.
        EXPECT_TRUE(Names(Dest).empty());
        EXPECT_EQ(Names(Base), (std::vector<std::string>{"dest", "outside", "package.zip"}));
    }
    for (const std::string good : {"fw.bin", "a/b/c.bin", "./fw.bin", "a//b", "a..b", "..a"}) {
        EXPECT_TRUE(IsSafeEntryName(good)) << good;
    }
}

TEST_F(PackageTest, SizeCapStopsZipBombs) {
    const std::string zeros(2 * 1024 * 1024, '\0');
    ASSERT_TRUE(BuildZip(Package, {{"fw.bin", zeros}}));
    std::string error;
    TUnpackedFile unpacked;
    EXPECT_FALSE(UnzipEntry(Package, Dest + "fw.bin", 1024 * 1024, unpacked, error));
    EXPECT_NE(error.find("more than"), std::string::npos) << error;
    EXPECT_TRUE(Names(Dest).empty());
    EXPECT_TRUE(UnzipEntry(Package, Dest + "fw.bin", 2 * 1024 * 1024, unpacked, error)) << error;
    ASSERT_TRUE(platform::RemoveFile(Dest + "fw.bin"));

    // Headers that understate the size do not get past the count of what is written.
    ForgeDeclaredSizes(Package, 1000);
    EXPECT_FALSE(UnzipEntry(Package, Dest + "fw.bin", 1024 * 1024, unpacked, error));
    EXPECT_TRUE(Names(Dest).empty()) << error;

    // The program's own limit: two entries that claim 300 MiB each.
    ASSERT_TRUE(BuildZip(Package, {{"fw.bin", "small"}, {"b.bin", "small"}}));
    ForgeDeclaredSizes(Package, 300u << 20);
    EXPECT_FALSE(TUpgradeOpt::UnzipPackage(Package, Dest + "fw.bin"));
    EXPECT_TRUE(Names(Dest).empty());
}

TEST_F(PackageTest, BrokenEntryLeavesNoPartialFile) {
    const std::string firmware = Payload(4 * 1024 * 1024, 3);
    ASSERT_TRUE(BuildZip(Package, {{"fw.bin", firmware}}));
    std::string bytes = ReadWholeFile(Package);
    const auto central = bytes.find("PK\x01\x02");
    ASSERT_NE(central, std::string::npos);
    // Damage the compressed data well after its start, so part of it is written first.
    for (std::size_t i = central * 3 / 4; i < central * 3 / 4 + 64; ++i) {
        bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    }
    ASSERT_TRUE(WriteWholeFile(Package, bytes));
    EXPECT_FALSE(TUpgradeOpt::UnzipPackage(Package, Dest + "fw.bin"));
    EXPECT_TRUE(Names(Dest).empty()); // neither the target nor a temporary file
}

TEST_F(PackageTest, NeverFollowsLinksPlantedInTheDestination) {
    ASSERT_TRUE(WriteWholeFile(Outside + "victim", "keep"));
    ASSERT_EQ(::symlink((Outside + "victim").c_str(), (Dest + "fw.bin").c_str()), 0);
    ASSERT_EQ(::symlink(Outside.c_str(), (Dest + "sub").c_str()), 0);

    ASSERT_TRUE(BuildZip(Package, {{"fw.bin", "new firmware"}}));
    EXPECT_TRUE(TUpgradeOpt::UnzipPackage(Package, Dest + "fw.bin"));
    EXPECT_FALSE(platform::IsSymbolicLink(Dest + "fw.bin"));
    EXPECT_EQ(ReadWholeFile(Dest + "fw.bin"), "new firmware");
    EXPECT_EQ(ReadWholeFile(Outside + "victim"), "keep");

    // Only the top-level entry is written: nothing goes through the linked folder.
    ASSERT_TRUE(BuildZip(Package, {{"fw.bin", "firmware"}, {"sub/fw.bin", "escaped"}}));
    EXPECT_TRUE(TUpgradeOpt::UnzipPackage(Package, Dest + "fw.bin"));
    EXPECT_EQ(Names(Outside), std::vector<std::string>{"victim"});
}

// --- the catalogue and the download -----------------------------------------------------

class CatalogTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetHost(&Host);
        SetFirmwareServerUrl(Server.Url("/FM/"));
        Temp = TTools::GetTempFolder();
        ASSERT_FALSE(Temp.empty());
        (void)platform::RemoveFile(Temp + "fw_cat.bin");
    }
    void TearDown() override {
        (void)platform::RemoveFile(Temp + "fw_cat.bin");
        (void)platform::RemoveFile(Temp + "fw_cat.zip");
        SetFirmwareServerUrl(DefaultFirmwareServerUrl());
        platform::SetHost(nullptr);
    }

    test::TFakeSleeperScope Sleep;
    test::TTestHost Host;
    test::TLoopbackHttpServer Server;
    std::string Temp;
};

TEST_F(CatalogTest, ReadsTheSectionAndDownloadsOnce) {
    const std::string zipPath = test::ScratchPath("cat") + ".zip";
    ASSERT_TRUE(BuildZip(zipPath, {{"fw_cat.bin", "the firmware"}}));
    const std::string package = ReadWholeFile(zipPath);
    (void)platform::RemoveFile(zipPath);
    const std::string catalogue =
        "junk without a section\r\n"
        "=no key\r\n"
        "[cam1]\r\n"
        "SysVer = 2.0.1 \r\n"
        "SysFile=fw_cat.zip\r\n"
        "MD5 =   " + platform::UpperAscii(Md5Hex(package)) + "  \r\n"
        "NO=1.0;1.1\r\n"
        "garbage line\r\n"
        "[EMPTY]\r\n"
        "[other]\r\nSysVer=9\r\n";
    Server.Handle("/FM/system/firmware.txt", test::THttpReply::Ok(catalogue, "text/plain"));
    Server.Handle("/FM/system/fw_cat.zip", test::THttpReply::Ok(package, "application/zip"));

    TSysUpgradeObject up;
    up.SetAppModel("CAM1");
    std::string md5, excluded, offered;
    up.ReadCatalog(md5, excluded, offered);
    EXPECT_EQ(offered, "2.0.1");
    EXPECT_EQ(excluded, "1.0;1.1");
    EXPECT_EQ(up.FirmwareFileName(), "fw_cat.zip");
    EXPECT_EQ(ReadWholeFile(Temp + "Firmware.ini"), catalogue);

    EXPECT_EQ(up.DownloadFirmware(md5), TUpgradeObject::DownloadReady);
    EXPECT_EQ(up.LocalFirmwarePath(), Temp + "fw_cat.bin");
    EXPECT_EQ(ReadWholeFile(up.LocalFirmwarePath()), "the firmware");
    EXPECT_FALSE(platform::FileExists(Temp + "fw_cat.zip"));

    // The next run of the same firmware finds the unpacked file with its proof: no download.
    const std::size_t requests = Server.RequestCount();
    EXPECT_EQ(up.DownloadFirmware(md5), TUpgradeObject::DownloadReady);
    EXPECT_EQ(Server.RequestCount(), requests);
    // Another digest in the catalogue: the file is not proved for it, so the package is
    // fetched and checked again; the failed check leaves the proved file as it was.
    EXPECT_EQ(up.DownloadFirmware("0123456789abcdef0123456789abcdef"),
              TUpgradeObject::DownloadDigestMismatch);
    EXPECT_EQ(Server.RequestCount(), requests + 1);
    EXPECT_EQ(ReadWholeFile(up.LocalFirmwarePath()), "the firmware");
    EXPECT_EQ(up.DownloadFirmware(md5), TUpgradeObject::DownloadReady);
    EXPECT_EQ(Server.RequestCount(), requests + 1);

    // A section without keys offers nothing.
    up.SetAppModel("empty");
    up.ReadCatalog(md5, excluded, offered);
    EXPECT_TRUE(md5.empty() && excluded.empty() && offered.empty());
    EXPECT_TRUE(Host.Boxes().empty());
}

TEST_F(CatalogTest, CatalogueCopyAndPackageFileLife) {
    const std::string zipPath = test::ScratchPath("life") + ".zip";
    ASSERT_TRUE(BuildZip(zipPath, {{"fw_same.bin", "unpacked firmware"}}));
    const std::string package = ReadWholeFile(zipPath);
    (void)platform::RemoveFile(zipPath);
    const std::string catalogue = "[cam2]\r\nSysVer=3.0\r\nSysFile=fw_same.bin\r\nMD5=" +
                                  Md5Hex(package) + "\r\n";
    Server.Handle("/FM/system/firmware.txt", test::THttpReply::Ok(catalogue, "text/plain"));
    Server.Handle("/FM/system/fw_same.bin", test::THttpReply::Ok(package, "application/zip"));
    (void)platform::RemoveFile(Temp + "fw_same.bin");

    TSysUpgradeObject up;
    up.SetAppModel("cam2");
    std::string md5, excluded, offered;
    up.ReadCatalog(md5, excluded, offered);
    EXPECT_EQ(ReadWholeFile(Temp + "Firmware.ini"), catalogue);

    // A package named like its unpacked file: the unpacked firmware is kept.
    EXPECT_EQ(up.DownloadFirmware(md5), TUpgradeObject::DownloadReady);
    EXPECT_EQ(up.LocalFirmwarePath(), Temp + "fw_same.bin");
    EXPECT_EQ(ReadWholeFile(Temp + "fw_same.bin"), "unpacked firmware");
    (void)platform::RemoveFile(Temp + "fw_same.bin");

    // A file under the firmware's name without a proof (an older version's, or anything
    // else): the package is fetched and checked and the file replaced. A file under the
    // package's own name is neither read nor touched.
    ASSERT_TRUE(BuildZip(zipPath, {{"fw_cat.bin", "newer firmware"}}));
    const std::string newer = ReadWholeFile(zipPath);
    (void)platform::RemoveFile(zipPath);
    ASSERT_TRUE(WriteWholeFile(Temp + "fw_cat.bin", "earlier firmware"));
    ASSERT_TRUE(WriteWholeFile(Temp + "fw_cat.zip", "left package"));
    Server.Handle("/FM/system/fw_cat.zip", test::THttpReply::Ok(newer, "application/zip"));
    Server.Handle("/FM/system/firmware.txt",
                  test::THttpReply::Ok("[cam2]\nSysVer=3.1\nSysFile= fw_cat.zip \nMD5=" +
                                           Md5Hex(newer) + "\n",
                                       "text/plain"));
    up.ReadCatalog(md5, excluded, offered);
    const std::size_t requests = Server.RequestCount();
    EXPECT_EQ(up.DownloadFirmware(md5), TUpgradeObject::DownloadReady);
    EXPECT_EQ(Server.RequestCount(), requests + 1);
    EXPECT_EQ(ReadWholeFile(Temp + "fw_cat.zip"), "left package");
    EXPECT_EQ(ReadWholeFile(Temp + "fw_cat.bin"), "newer firmware");
    (void)platform::RemoveFile(Temp + "fw_cat.zip");

    // The copy of the catalogue goes at the start of the next read: a failed download
    // leaves it empty, not holding the previous catalogue.
    SetFirmwareServerUrl(Server.Url("/gone/"));
    up.ReadCatalog(md5, excluded, offered);
    EXPECT_TRUE(md5.empty() && excluded.empty() && offered.empty());
    EXPECT_TRUE(platform::FileExists(Temp + "Firmware.ini"));
    EXPECT_EQ(ReadWholeFile(Temp + "Firmware.ini"), "");
    EXPECT_EQ(up.FirmwareFileName(), "");
    EXPECT_EQ(Host.Boxes().size(), 1u);
}

TEST_F(CatalogTest, UiCatalogueLiesInTheOemFolderInLowerCase) {
    Server.Handle("/oem.txt", test::THttpReply::Ok("ABC"));
    Server.Handle("/appver.js", test::THttpReply::Ok("var app_ver=\"v3.1.2\";"));
    Server.Handle("/FM/abc/firmware.txt",
                  test::THttpReply::Ok("[3.1]\nAppVer=3.2\nAppFile=ui.zip\nMD5=00\n"));
    TUIUpgradeObject up;
    up.SetIP("127.0.0.1");
    up.SetPort(Server.Port());
    ASSERT_EQ(up.Login(), TUpgradeObject::LoginOk);
    ASSERT_TRUE(up.ReadCurrentVersion());
    std::string md5, excluded, offered;
    up.ReadCatalog(md5, excluded, offered);
    EXPECT_EQ(offered, "3.2");
    EXPECT_EQ(up.FirmwareFileName(), "ui.zip");
    EXPECT_EQ(Server.Requests().back().Path, "/FM/abc/firmware.txt");
}

TEST_F(CatalogTest, MissingCatalogueGivesEmptyStringsAndOneBox) {
    TSysUpgradeObject up;
    up.SetAppModel("cam1");
    std::string md5 = "x", excluded = "y", offered = "z";
    up.ReadCatalog(md5, excluded, offered);
    EXPECT_TRUE(md5.empty() && excluded.empty() && offered.empty());
    ASSERT_EQ(Host.Boxes().size(), 1u);
    EXPECT_EQ(Host.Boxes()[0].Caption, TUpgradeOpt::ErrorCaption);
    EXPECT_NE(Host.Boxes()[0].Text.find("404"), std::string::npos) << Host.Boxes()[0].Text;
}

} // namespace
} // namespace torvane
