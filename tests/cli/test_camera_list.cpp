// The camera list of torvane-cli batch: what a good list gives, and that every kind of bad
// line is refused with its line number before anything starts.

#include "cli/CameraList.h"

#include <gtest/gtest.h>

namespace torvane::cli {
namespace {

const TCameraListDefaults Defaults{"admin", "135790"};

std::vector<TSiteCamera> Good(const std::string& text) {
    auto result = ParseCameraList(text, "site.csv", Defaults);
    if (auto* error = std::get_if<TMessage>(&result)) {
        ADD_FAILURE() << "refused: " << Text(*error);
        return {};
    }
    return std::get<std::vector<TSiteCamera>>(result);
}

// The error's text as the user reads it, in English.
std::string Bad(const std::string& text) {
    auto result = ParseCameraList(text, "site.csv", Defaults);
    if (auto* error = std::get_if<TMessage>(&result)) {
        return Text(*error);
    }
    return "(accepted)";
}

TEST(CameraList, GoodListsInEveryShape) {
    // Columns in any order and case, CR LF, a byte-order mark, comments and blank lines,
    // quoted fields with commas and doubled quotes, blanks around fields.
    const auto cameras = Good("\xEF\xBB\xBF# site A\r\n"
                              "\r\n"
                              "IP, Series ,port,password,user\r\n"
                              "127.0.0.21,F,81,\"pa,ss\"\"word\",Installer\r\n"
                              "   # a comment after blanks\r\n"
                              " 127.0.0.22 , h , 8081 ,,\r\n"
                              "127.0.0.23,T,80,\"\",\"\"");
    ASSERT_EQ(cameras.size(), 3u);
    EXPECT_EQ(cameras[0].SeriesIndex, 1);
    EXPECT_EQ(cameras[0].Name(), "127.0.0.21:81");
    EXPECT_EQ(cameras[0].User, "Installer");
    EXPECT_EQ(cameras[0].Password, "pa,ss\"word");
    // Empty fields take the defaults.
    EXPECT_EQ(cameras[1].SeriesIndex, 2);
    EXPECT_EQ(cameras[1].Name(), "127.0.0.22:8081");
    EXPECT_EQ(cameras[1].User, "admin");
    EXPECT_EQ(cameras[1].Password, "135790");
    EXPECT_EQ(cameras[2].SeriesLetter(), "T");
    EXPECT_EQ(cameras[2].Password, "135790");

    // Without user and password columns, and without a line end at the end.
    const auto minimal = Good("series,ip,port\nE,127.0.0.30,80");
    ASSERT_EQ(minimal.size(), 1u);
    EXPECT_EQ(minimal[0].SeriesLetter(), "E");
    EXPECT_EQ(minimal[0].User, "admin");
    EXPECT_EQ(minimal[0].Password, "135790");
}

TEST(CameraList, EveryKindOfBadLineNamesItsLine) {
    const std::string header = "series,ip,port,user,password\n";
    EXPECT_EQ(Bad(header + "F,127.0.0.2,81,admin\n"),
              "site.csv, line 2: 4 fields, but the header line names 5 columns");
    EXPECT_EQ(Bad(header + "\n# c\nF,127.0.0.2,81,admin,1,extra\n"),
              "site.csv, line 4: 6 fields, but the header line names 5 columns");
    EXPECT_EQ(Bad(header + "X,127.0.0.2,81,,\n"),
              "site.csv, line 2: series takes one of E|F|H|T, not \"X\"");
    EXPECT_EQ(Bad(header + "FH,127.0.0.2,81,,\n").substr(0, 18), "site.csv, line 2: ");
    EXPECT_EQ(Bad(header + "F,127.0.0,81,,\n").substr(0, 22), "site.csv, line 2: ip t");
    EXPECT_EQ(Bad(header + "F,,81,,\n").substr(0, 22), "site.csv, line 2: ip t");
    EXPECT_EQ(Bad(header + "F,127.0.0.2,0,,\n"),
              "site.csv, line 2: port takes a whole number from 1 to 65535, not \"0\"");
    EXPECT_EQ(Bad(header + "F,127.0.0.2,65536,,\n").substr(0, 24), "site.csv, line 2: port t");
    EXPECT_EQ(Bad(header + "F,127.0.0.2,8x,,\n").substr(0, 24), "site.csv, line 2: port t");
    EXPECT_EQ(Bad(header + "F,127.0.0.2,81,\"admin,\n"),
              "site.csv, line 2: a quoted field is not closed");
    EXPECT_EQ(Bad(header + "F,127.0.0.2,81,,\nH,127.0.0.3,82,,\nF,127.0.0.2,81,,\n"),
              "site.csv, line 4: the camera 127.0.0.2:81 is listed twice (first on line 2)");
    // The header: unknown, repeated and missing columns.
    EXPECT_EQ(Bad("# list\nseries,ip,port,name\n"),
              "site.csv, line 2: unknown column \"name\" (the columns are series, ip, port, "
              "user, password)");
    EXPECT_EQ(Bad("series,ip,port,IP\n"), "site.csv, line 1: the column ip is named twice");
    EXPECT_EQ(Bad("series,ip\nF,127.0.0.2\n"),
              "site.csv, line 1: the header line names no column port");
    // Nothing at all, or a header alone.
    EXPECT_EQ(Bad(""), "site.csv has no header line naming the columns");
    EXPECT_EQ(Bad("\n# only comments\n\n"), "site.csv has no header line naming the columns");
    EXPECT_EQ(Bad(header), "site.csv lists no camera");
    // A file that cannot be read.
    auto missing = ReadCameraList("/nonexistent/site.csv", Defaults);
    ASSERT_TRUE(std::holds_alternative<TMessage>(missing));
    EXPECT_EQ(std::get<TMessage>(missing).Key, "IDS_CLI_CSV_READ");
}

} // namespace
} // namespace torvane::cli
