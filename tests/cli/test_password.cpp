// Where torvane-cli takes the camera's password from, and which combinations it refuses.

#include "cli/Password.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace torvane::cli {
namespace {

using test::ScratchPath;
using test::WriteWholeFile;

class Password : public ::testing::Test {
protected:
    void SetUp() override { ::unsetenv("TORVANE_PASSWORD"); }
    void TearDown() override { ::unsetenv("TORVANE_PASSWORD"); }

    static TParsedArgs Args(std::map<std::string, std::string> values) {
        TParsedArgs args;
        args.Values = std::move(values);
        return args;
    }
    static TPassword Obtain(const TParsedArgs& args, std::optional<TMessage>* error = nullptr) {
        TPassword out;
        const std::optional<TMessage> e = ObtainPassword(args, "135790", "admin", "192.0.2.1", out);
        if (error != nullptr) {
            *error = e;
        } else {
            EXPECT_FALSE(e) << e->Key;
        }
        return out;
    }
};

TEST_F(Password, TheFirstLineOfTheFileWithoutItsLineEnd) {
    const std::string file = ScratchPath("password");
    struct TCase {
        const char* Content;
        const char* Password;
    };
    for (const TCase c : {TCase{"secret\n", "secret"}, TCase{"secret\r\nsecond\n", "secret"},
                          TCase{"no line end", "no line end"}, TCase{"", ""},
                          TCase{" spaced \n", " spaced "}, TCase{"\nsecond", ""}}) {
        ASSERT_TRUE(WriteWholeFile(file, c.Content));
        std::string password;
        std::string error;
        EXPECT_TRUE(ReadPasswordFile(file, password, error)) << error;
        EXPECT_EQ(password, c.Password) << c.Content;
    }

    std::string password = "unchanged";
    std::string error;
    EXPECT_FALSE(ReadPasswordFile(file + ".missing", password, error));
    EXPECT_EQ(error, "No such file or directory");
    const std::string folder = ScratchPath("password-folder");
    std::filesystem::create_directories(folder);
    EXPECT_FALSE(ReadPasswordFile(folder, password, error));
    EXPECT_EQ(error, "Is a directory");
}

TEST_F(Password, SourcesInOrderAndTwoAtOnceRefused) {
    const std::string file = ScratchPath("password");
    ASSERT_TRUE(WriteWholeFile(file, "fromfile\n"));

    TPassword p = Obtain(Args({}));
    EXPECT_EQ(p.Text, "135790");
    EXPECT_EQ(p.Source, "");

    ::setenv("TORVANE_PASSWORD", "fromenv", 1);
    p = Obtain(Args({}));
    EXPECT_EQ(p.Text, "fromenv");
    EXPECT_EQ(p.Source, "TORVANE_PASSWORD");

    p = Obtain(Args({{"password", "given"}}));
    EXPECT_EQ(p.Text, "given") << "the command line wins over the environment";
    p = Obtain(Args({{"password-file", file}}));
    EXPECT_EQ(p.Text, "fromfile");
    EXPECT_EQ(p.Source, "--password-file");

    ::setenv("TORVANE_PASSWORD", "", 1);
    EXPECT_EQ(Obtain(Args({})).Text, "135790") << "an empty variable counts as unset";

    std::optional<TMessage> error;
    (void)Obtain(Args({{"password", "x"}, {"password-file", file}}), &error);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Key, "IDS_CLI_PASSWORDTWICE");
    (void)Obtain(Args({{"password-file", file + ".missing"}}), &error);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Key, "IDS_CLI_PASSWORDFILE");
    EXPECT_EQ(error->Args.at(0), file + ".missing");
}

} // namespace
} // namespace torvane::cli
