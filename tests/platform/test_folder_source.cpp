// FolderDownloadToFile: a firmware folder as the source of a download. Nothing below the
// base folder may lead elsewhere or block: links, "..", pipes, devices and files larger than
// the cap are refused, and what is left at the target is what a failed download leaves.

#include "platform/FileOps.h"
#include "platform/FolderSource.h"
#include "platform/Folders.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace torvane::platform {
namespace {

class FolderSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        Root = test::ScratchPath("folder-source") + "/";
        Base = Root + "FM/";
        Outside = Root + "outside/";
        ASSERT_TRUE(ForceFolder(Base + "system/"));
        ASSERT_TRUE(ForceFolder(Outside));
        ASSERT_TRUE(test::WriteWholeFile(Base + "system/firmware.txt", "[1.2.3]\r\nSysVer=1\r\n"));
        ASSERT_TRUE(test::WriteWholeFile(Outside + "secret.txt", "not for the camera"));
        Target = Root + "copy.txt";
    }
    void TearDown() override { (void)RemovePath(Root); }

    THttpDownloadResult Copy(const std::vector<std::string>& names,
                             const THttpDownloadLimits& limits = {}) {
        return FolderDownloadToFile(Base, names, Target, limits);
    }

    std::string Root;
    std::string Base;
    std::string Outside;
    std::string Target;
};

TEST_F(FolderSourceTest, CopiesThroughAFreshFileAndNeverWritesThroughALinkAtTheTarget) {
    ASSERT_EQ(::symlink((Outside + "secret.txt").c_str(), Target.c_str()), 0);
    const THttpDownloadResult r = Copy({"system", "firmware.txt"});
    ASSERT_TRUE(r.Ok) << r.ErrorText;
    EXPECT_FALSE(IsSymbolicLink(Target));
    EXPECT_EQ(test::ReadWholeFile(Target), "[1.2.3]\r\nSysVer=1\r\n");
    EXPECT_EQ(test::ReadWholeFile(Outside + "secret.txt"), "not for the camera");
    EXPECT_EQ(ListFolder(Root).size(), 3u) << "no fresh file left behind";

    // The base folder itself may be a link (a mount point, a folder the user linked).
    ASSERT_EQ(::symlink(Base.c_str(), (Root + "linked").c_str()), 0);
    EXPECT_TRUE(FolderDownloadToFile(Root + "linked", {"system", "firmware.txt"}, Target, {}).Ok);
}

TEST_F(FolderSourceTest, MissingFilesFailLikeAnUnreachableServerAndLeaveAnEmptyFile) {
    ASSERT_TRUE(test::WriteWholeFile(Target, "old"));
    for (const auto& [base, names] :
         std::vector<std::pair<std::string, std::vector<std::string>>>{
             {Root + "nowhere/", {"system", "firmware.txt"}},
             {Base, {"abc", "firmware.txt"}},
             {Base, {"system", "fw.zip"}}}) {
        const THttpDownloadResult r = FolderDownloadToFile(base, names, Target, {});
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(r.Failure, EDownloadFailure::Transfer);
        EXPECT_NE(r.ErrorText.find("No such file or directory"), std::string::npos) << r.ErrorText;
        EXPECT_TRUE(FileExists(Target));
        EXPECT_EQ(test::ReadWholeFile(Target), "");
    }
}

TEST_F(FolderSourceTest, NothingBelowTheBaseLeadsElsewhere) {
    // A folder, a file and a file inside the base, each reached through a link; names that
    // climb out or hold a separator.
    ASSERT_EQ(::symlink(Outside.c_str(), (Base + "abc").c_str()), 0);
    ASSERT_EQ(::symlink((Outside + "secret.txt").c_str(), (Base + "system/fw.zip").c_str()), 0);
    ASSERT_EQ(::symlink("firmware.txt", (Base + "system/same.zip").c_str()), 0);
    ASSERT_TRUE(test::WriteWholeFile(Root + "firmware.txt", "above the base"));
    const std::vector<std::vector<std::string>> cases = {
        {"abc", "secret.txt"}, {"system", "fw.zip"}, {"system", "same.zip"},
        {"..", "firmware.txt"}, {"system", ".."},     {".", "system"},
        {"", "firmware.txt"},  {"system/..", "x"},   {"system", "a/b"},
        {}};
    for (const auto& names : cases) {
        std::string shown;
        for (const auto& n : names) {
            shown += "[" + n + "]";
        }
        ASSERT_TRUE(test::WriteWholeFile(Target, "old"));
        const THttpDownloadResult r = Copy(names);
        EXPECT_FALSE(r.Ok) << shown;
        EXPECT_EQ(r.Failure, EDownloadFailure::NotPlainFile) << shown << ": " << r.ErrorText;
        EXPECT_EQ(test::ReadWholeFile(Target), "") << shown;
    }
    // A folder where the file should be.
    EXPECT_EQ(Copy({"system"}).Failure, EDownloadFailure::NotPlainFile);
}

TEST_F(FolderSourceTest, PipesDevicesAndEndlessFilesAreNeverRead) {
    // A pipe with no writer would block a plain open or read for ever.
    ASSERT_EQ(::mkfifo((Base + "system/fifo.zip").c_str(), 0600), 0);
    THttpDownloadResult r = Copy({"system", "fifo.zip"});
    EXPECT_EQ(r.Failure, EDownloadFailure::NotPlainFile) << r.ErrorText;
    EXPECT_EQ(r.Where, Base + "system/fifo.zip");

    // A device node (only root may make one here).
    if (::mknod((Base + "system/zero.zip").c_str(), S_IFCHR | 0600, makedev(1, 5)) == 0) {
        r = Copy({"system", "zero.zip"});
        EXPECT_EQ(r.Failure, EDownloadFailure::NotPlainFile) << r.ErrorText;
    }

    // A file far larger than the cap (sparse: nothing is written to the disk) is refused
    // before it is read.
    THttpDownloadLimits limits;
    limits.MaxBytes = 1 << 20;
    const int fd = ::open((Base + "system/huge.zip").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t{1} << 40), 0);
    ::close(fd);
    r = Copy({"system", "huge.zip"}, limits);
    EXPECT_EQ(r.Failure, EDownloadFailure::TooLarge);
    EXPECT_EQ(test::ReadWholeFile(Target), "");

    ASSERT_TRUE(test::WriteWholeFile(Base + "system/exact.zip", std::string(1 << 20, 'x')));
    r = Copy({"system", "exact.zip"}, limits);
    EXPECT_TRUE(r.Ok) << "the cap itself is allowed";
}

} // namespace
} // namespace torvane::platform
