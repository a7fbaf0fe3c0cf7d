// The settings' precedence at start-up: the user's option.ini over the program folder's.
// An executable of its own, because the program folder's file would be seen by every test
// of an executable running beside this one.

#include "AppTestSupport.h"

#include "i18n/StrRes.h"
#include "platform/Folders.h"

using namespace torvane;
using namespace torvane::test;

namespace {

class Settings : public TAppTest {
protected:
    void TearDown() override {
        (void)platform::RemoveFile(ProgramSettingsPath());
        TAppTest::TearDown();
    }
};

} // namespace

TEST_F(Settings, UserSettingsWinOverTheProgramFolderEvenWhenEmpty) {
    // The file torvane-cli reads too, whatever this program is called.
    ASSERT_EQ(UserSettingsPath(), platform::ConfigFolder() + "torvane/option.ini");
    ASSERT_TRUE(WriteWholeFile(ProgramSettingsPath(), "[Global]\r\nlan=cn\r\n"));
    {
        auto w = NewWindow();
        EXPECT_EQ(CurrentLanguage(), "cn");
        EXPECT_EQ(ReadSetting(UserSettingsPath(), "lan"), "cn");
    }
    ASSERT_TRUE(WriteWholeFile(UserSettingsPath(), "[Global]\r\nlan=b5\r\n"));
    {
        auto w = NewWindow();
        EXPECT_EQ(CurrentLanguage(), "b5");
    }
    // Present but empty counts: the system's language (C: English) is chosen and stored.
    ASSERT_TRUE(WriteWholeFile(UserSettingsPath(), "[Global]\r\nlan=\r\n"));
    {
        auto w = NewWindow();
        EXPECT_EQ(CurrentLanguage(), "en");
        EXPECT_EQ(ReadSetting(UserSettingsPath(), "lan"), "en");
        EXPECT_EQ(ReadSetting(ProgramSettingsPath(), "lan"), "cn") << "never written";
    }
}
