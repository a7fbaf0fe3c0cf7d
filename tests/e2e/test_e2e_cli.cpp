// torvane-cli as a user meets it: help and version, usage errors (one line on standard
// error, status 2, nothing sent), an unknown text key, the password sources, -q and -v.
// A loopback HTTP server stands in for the camera and refuses every login, so a run ends
// after its first request; what it received shows what the tool sent.
// Also the window program's --help and --version, which must open no window.

#include "TorvaneVersion.h"
#include "support/CapturedRun.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using torvane::test::RunCaptured;
using torvane::test::TCapturedRun;
using torvane::test::THttpReply;
using torvane::test::TLoopbackHttpServer;

const char* const Cli = TORVANE_CLI_PATH;

TCapturedRun RunCli(std::vector<std::string> args, const std::vector<std::string>& env = {},
                    const std::string& input = "") {
    args.insert(args.begin(), Cli);
    std::vector<std::string> environment = {"TORVANE_PASSWORD"};
    environment.insert(environment.end(), env.begin(), env.end());
    return RunCaptured(args, environment, input);
}

// A camera that refuses every login (and records it).
class TRefusingCamera : public TLoopbackHttpServer {
public:
    TRefusingCamera() { SetDefaultReply(THttpReply::Unauthorized("401 Unauthorized")); }
    [[nodiscard]] std::string PortText() const { return std::to_string(Port()); }
    // The upgrade of the system firmware of an F camera here, plus more.
    [[nodiscard]] std::vector<std::string> Upgrade(const std::vector<std::string>& more) const {
        std::vector<std::string> args = {"upgrade",   "--series", "F",        "--ip",
                                         "127.0.0.1", "--port",   PortText(), "--firmware",
                                         "system"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    [[nodiscard]] std::string LastAuthorization() const {
        const auto requests = Requests();
        return requests.empty() ? std::string("(no request)")
                                : requests.back().Header("Authorization");
    }
};

TEST(CliConventions, VersionAndHelpPrintToStandardOutputAndEndWithZero) {
    TCapturedRun run = RunCli({"--version"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, std::string("torvane-cli ") + torvane::TorvaneVersion + "\n");
    EXPECT_EQ(run.Err, "");

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"-h"}, {"help"}}) {
        run = RunCli(args);
        EXPECT_EQ(run.ExitCode, 0) << args[0];
        EXPECT_EQ(run.Err, "");
        for (const char* command : {"upgrade", "discover", "text", "languages", "help"}) {
            EXPECT_NE(run.Out.find(std::string("\n  ") + command + " "), std::string::npos)
                << run.Out;
        }
    }

    for (const char* command : {"upgrade", "discover", "text", "languages", "help"}) {
        run = RunCli({command, "--help"});
        EXPECT_EQ(run.ExitCode, 0) << command;
        EXPECT_EQ(run.Out.rfind(std::string("usage: torvane-cli ") + command, 0), 0u) << run.Out;
        EXPECT_EQ(run.Err, "");
        EXPECT_EQ(RunCli({"help", command}).Out, run.Out);
    }
    // Help wins over everything else on the line, bad values included.
    run = RunCli({"upgrade", "--series", "Q", "--ip", "999.1.1.1", "--bogus", "-h"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, RunCli({"upgrade", "--help"}).Out);

    run = RunCli({});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(run.Err.rfind("usage: torvane-cli", 0), 0u) << run.Err;
}

TEST(CliConventions, UsageErrorsAreOneLineOnStandardErrorAndNothingIsSent) {
    TRefusingCamera camera;
    const std::string port = camera.PortText();
    const std::string missing = torvane::test::ScratchPath("no-such-file");
    const std::vector<std::vector<std::string>> cases = {
        {"upgrade", "--ip", "127.0.0.1", "--port", port},
        {"upgrade", "--series", "F", "--port", port},
        {"upgrade", "--series", "F", "--ip", "999.1.1.1", "--port", port},
        {"upgrade", "--series", "F", "--ip", "bad_name", "--port", port},
        {"upgrade", "--series", "F", "--ip", "127.0.0.1", "--port", "99999"},
        {"upgrade", "--series", "F", "--ip", "127.0.0.1", "--port", "0"},
        {"upgrade", "--series", "F", "--ip", "127.0.0.1", "--port", "8o"},
        {"upgrade", "--series", "Q", "--ip", "127.0.0.1", "--port", port},
        {"upgrade", "--series", "F", "--ip", "127.0.0.1", "--port", port, "--bogus"},
        {"upgrade", "--series", "F", "--ip", "127.0.0.1", "--port", port, "--firmware", "all"},
        {"upgrade", "--series", "F", "--ip", "127.0.0.1", "--port", port, "--server", "ftp://x/"},
        {"upgrade", "--series", "F", "--ip", "127.0.0.1", "--port", port, "--password", "x",
         "--password-file", missing},
        {"upgrade", "--series", "F", "--ip", "127.0.0.1", "--port", port, "--password-file",
         missing},
        {"upgrade", "--series", "F", "--ip", "127.0.0.1", "--port", port, "-q", "-v"},
        {"upgrade", "--series", "F", "--ip", "127.0.0.1", "--port", port, "stray"},
        {"upgrade", "--series", "F", "--ip", "127.0.0.1", "--port"},
        {"discover", "--seconds", "0", "--broadcast", "127.0.0.1"},
        {"text"},
        {"text", "IDS_NOTE", "IDS_ERROR"},
        {"languages", "--yes"},
        {"nope"},
        {"--bogus", "text", "IDS_NOTE"},
    };
    for (const auto& args : cases) {
        std::string line;
        for (const auto& a : args) {
            line += a + " ";
        }
        const TCapturedRun run = RunCli(args);
        EXPECT_EQ(run.ExitCode, 2) << line << "\n" << run.Err;
        EXPECT_EQ(run.Out, "") << line;
        ASSERT_EQ(run.ErrLines().size(), 1u) << line << "\n" << run.Err;
        EXPECT_EQ(run.Err.rfind("torvane-cli: ", 0), 0u) << run.Err;
    }
    EXPECT_EQ(camera.ConnectionCount(), 0u) << "nothing may be sent after a usage error";

    EXPECT_EQ(RunCli(cases[0]).Err,
              "torvane-cli: --series E|F|H|T|auto is required (see 'torvane-cli upgrade --help')\n");
    EXPECT_EQ(RunCli(cases[4]).Err,
              "torvane-cli: --port takes a whole number from 1 to 65535, not \"99999\" (see "
              "'torvane-cli upgrade --help')\n");
    EXPECT_EQ(RunCli({"nope"}).Err,
              "torvane-cli: unknown command \"nope\" (see 'torvane-cli --help')\n");
    // In the chosen language, also when --lang stands before the command.
    EXPECT_EQ(RunCli({"upgrade", "--ip", "127.0.0.1", "--lang", "cn"}).Err,
              "torvane-cli: 缺少必需的选项 --series E|F|H|T|auto（参见“torvane-cli upgrade --help”）\n");
    EXPECT_EQ(RunCli({"--lang", "b5", "upgrade", "--series", "F", "--ip", "1.2.3"}).Err,
              "torvane-cli: --ip 的值應為 IPv4 位址（四個 0 到 255 之間的數字，例如 "
              "192.0.2.10）或主機名稱，不能是「1.2.3」（參見「torvane-cli upgrade --help」）\n");
}

TEST(CliConventions, TextWithAnUnknownKeyFailsAndAnUnknownLanguageWarns) {
    TCapturedRun run = RunCli({"text", "NOPE"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(run.Err, "torvane-cli: the en language pack has no text \"NOPE\"\n");

    run = RunCli({"text", "IDS_NOTE", "--lang", "cn"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, "注：升级固件需要最高权限帐号登录才能完成。\n");
    EXPECT_EQ(run.Err, "");

    run = RunCli({"text", "IDS_ERROR", "--lang", "xx"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, "ERROR\n");
    EXPECT_EQ(run.Err, "torvane-cli: warning: there is no language pack \"xx\"; using en\n");
}

TEST(CliConventions, ThePasswordComesFromFileEnvironmentStandardInputOrTheDefault) {
    TRefusingCamera camera;
    const std::string file = torvane::test::ScratchPath("password");
    ASSERT_TRUE(torvane::test::WriteWholeFile(file, "FromFile\r\nignored\n"));
    struct TCase {
        std::vector<std::string> More;
        std::vector<std::string> Env;
        std::string Input;
        std::string Authorization; // admin:<password>, the password lower-cased
    };
    const std::vector<TCase> cases = {
        {{}, {}, "", "Basic YWRtaW46MTM1Nzkw"},                         // 135790
        {{}, {"TORVANE_PASSWORD=fromenv"}, "", "Basic YWRtaW46ZnJvbWVudg=="},
        {{"--password-file", file}, {"TORVANE_PASSWORD=fromenv"}, "",
         "Basic YWRtaW46ZnJvbWZpbGU="},                                 // fromfile
        {{"--password", "-"}, {"TORVANE_PASSWORD=fromenv"}, "fromstdin\n",
         "Basic YWRtaW46ZnJvbXN0ZGlu"},
        {{"--password", "typed"}, {}, "", "Basic YWRtaW46dHlwZWQ="},
    };
    for (const TCase& c : cases) {
        camera.ClearRequests();
        const TCapturedRun run = RunCli(camera.Upgrade(c.More), c.Env, c.Input);
        EXPECT_EQ(run.ExitCode, 1) << run.Out << run.Err;
        ASSERT_EQ(camera.RequestCount(), 1u) << run.Out << run.Err;
        EXPECT_EQ(camera.LastAuthorization(), c.Authorization) << c.Input;
        ASSERT_FALSE(run.OutLines().empty());
        EXPECT_TRUE(run.OutLines().back().find("Login name or password is wrong!") !=
                    std::string::npos)
            << run.Out;
    }

    camera.ClearRequests();
    const TCapturedRun run = RunCli(camera.Upgrade({"--password", "-"}), {}, "");
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Err, "torvane-cli: no password came: standard input ended first (see "
                       "'torvane-cli upgrade --help')\n");
    EXPECT_EQ(camera.RequestCount(), 0u);
}

TEST(CliConventions, QuietPrintsTheOutcomeVerboseTheTraceAndNamesResolve) {
    TRefusingCamera camera;
    std::vector<std::string> args = camera.Upgrade({"-q"});
    args[4] = "localhost"; // --ip
    TCapturedRun run = RunCli(args);
    EXPECT_EQ(run.ExitCode, 1);
    ASSERT_EQ(run.OutLines().size(), 1u) << run.Out;
    EXPECT_NE(run.Out.find(":Login name or password is wrong!"), std::string::npos) << run.Out;
    EXPECT_EQ(run.Err, "");
    EXPECT_EQ(camera.RequestCount(), 1u) << "localhost resolved to 127.0.0.1";

    const TCapturedRun normal = RunCli(camera.Upgrade({}));
    run = RunCli(camera.Upgrade({"--verbose", "--password-file", "/dev/null"}));
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.OutLines().size(), normal.OutLines().size()) << "the log is the same";
    const std::vector<std::string> trace = run.ErrLines();
    ASSERT_GE(trace.size(), 4u) << run.Err;
    for (const std::string& line : trace) {
        EXPECT_EQ(line.rfind("torvane-cli: ", 0), 0u) << line;
    }
    EXPECT_NE(run.Err.find("password from --password-file"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("run 1 of 1: system firmware of the F series camera at 127.0.0.1:" +
                           camera.PortText() + ", account admin"),
              std::string::npos)
        << run.Err;
    EXPECT_NE(run.Err.find("run 1 ended after "), std::string::npos) << run.Err;
    EXPECT_EQ(normal.Err, "") << "no trace without -v";
}

#ifdef TORVANE_EXE
// The window program answers --help and --version before anything else: with no usable
// display platform it would abort if it made its application object, and it leaves no
// lock or pack folder behind in its temporary folder.
TEST(WindowProgram, HelpAndVersionOpenNoWindowAndTouchNoLock) {
    const std::string tmp = torvane::test::ScratchPath("window-info");
    std::filesystem::create_directories(tmp);
    const std::vector<std::string> env = {"QT_QPA_PLATFORM=no-such-platform", "DISPLAY",
                                          "WAYLAND_DISPLAY", "TMPDIR=" + tmp};
    TCapturedRun run = RunCaptured({TORVANE_EXE, "--version"}, env, "");
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out, std::string("torvane ") + torvane::TorvaneVersion + "\n");
    EXPECT_EQ(run.Err, "");
    for (const char* help : {"--help", "-h"}) {
        run = RunCaptured({TORVANE_EXE, help}, env, "");
        EXPECT_EQ(run.ExitCode, 0) << run.Err;
        EXPECT_EQ(run.Out.rfind("usage: torvane", 0), 0u) << run.Out;
        EXPECT_EQ(run.Err, "");
    }
    EXPECT_TRUE(std::filesystem::is_empty(tmp)) << "no private folder, lock or packs made";
}
#endif

} // namespace
