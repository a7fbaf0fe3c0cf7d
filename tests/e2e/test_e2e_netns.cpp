// torvane-cli discover as an installer runs it, with the default settings, on a PC with two
// networks and the default route on the first: inside network namespaces this test builds
// (support/Netns.h), with three cameras behind each link. The CLI runs in the PC's
// namespace through `ip netns exec`; nothing reaches the host's network.

#include "i18n/Deployment.h"
#include "platform/Folders.h"
#include "platform/Text.h"
#include "support/E2eProcess.h"
#include "support/Netns.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace torvane {
namespace {

using test::TNetnsCamera;
using test::TTwoNetworkLab;

class DiscoverNetnsE2E : public ::testing::Test {
protected:
    void SetUp() override {
        // An option.ini beside the program would change the defaults this test is about.
        const std::string cli = TORVANE_CLI_PATH;
        const std::string beside = cli.substr(0, cli.rfind('/') + 1) + "option.ini";
        if (platform::FileExists(beside)) {
            GTEST_SKIP() << beside << " changes the default settings";
        }
        ASSERT_TRUE(Lab.Ok()) << Lab.Error();
        CameraA = std::make_unique<TNetnsCamera>(Lab.CamA(), "a", TTwoNetworkLab::CameraA);
        CameraB = std::make_unique<TNetnsCamera>(Lab.CamB(), "b", TTwoNetworkLab::CameraB);
        ASSERT_TRUE(CameraA->Ok()) << CameraA->Error();
        ASSERT_TRUE(CameraB->Ok()) << CameraB->Error();
    }

    // torvane-cli discover in the PC's namespace: its standard output.
    test::TE2eRun Discover(const std::vector<std::string>& options) {
        std::vector<std::string> argv{test::IpProgram(), "netns", "exec", Lab.Pc().Name(),
                                      TORVANE_CLI_PATH, "discover", "--seconds", "2"};
        if (!platform::IsAutoBroadcast(DefaultBroadcastAddress())) {
            // A build with another compiled-in default: ask for what the default would be.
            argv.insert(argv.end(), {"--broadcast", "auto"});
        }
        argv.insert(argv.end(), options.begin(), options.end());
        return test::RunToEnd(argv, std::chrono::seconds(60), {},
                              test::TChildStderr::Inherited);
    }

    // name -> interface of every listed camera; every line has the seven columns.
    static std::map<std::string, std::string> Listed(const test::TE2eRun& run) {
        std::map<std::string, std::string> out;
        for (const std::string& line : run.Lines) {
            std::vector<std::string> columns;
            platform::SplitText(line, "\t", columns);
            EXPECT_EQ(columns.size(), 7u) << line;
            if (columns.size() == 7u) {
                out[columns[1]] = columns[6];
            }
        }
        return out;
    }

    TTwoNetworkLab Lab;
    std::unique_ptr<TNetnsCamera> CameraA;
    std::unique_ptr<TNetnsCamera> CameraB;
};

TEST_F(DiscoverNetnsE2E, DefaultSettingsListTheCamerasOfBothNetworks) {
    const test::TE2eRun all = Discover({});
    ASSERT_EQ(all.ExitCode, 0) << all.Output;
    const std::string a = Lab.LinkA();
    const std::string b = Lab.LinkB();
    EXPECT_EQ(Listed(all),
              (std::map<std::string, std::string>{{"a-moi", a}, {"a-ctp", a}, {"a-t", a},
                                                  {"b-moi", b}, {"b-ctp", b}, {"b-t", b}}))
        << all.Output;

    const test::TE2eRun one = Discover({"--interface", b});
    ASSERT_EQ(one.ExitCode, 0) << one.Output;
    EXPECT_EQ(Listed(one),
              (std::map<std::string, std::string>{{"b-moi", b}, {"b-ctp", b}, {"b-t", b}}))
        << one.Output;

    const test::TE2eRun json = Discover({"--json", "--interface", a});
    ASSERT_EQ(json.ExitCode, 0) << json.Output;
    EXPECT_NE(json.Output.find("\"szName\":\"a-moi\""), std::string::npos) << json.Output;
    EXPECT_NE(json.Output.find("\"interface\":\"" + a + "\""), std::string::npos) << json.Output;
    EXPECT_EQ(json.Output.find("\"interface\":\"" + b + "\""), std::string::npos) << json.Output;
}

} // namespace
} // namespace torvane
