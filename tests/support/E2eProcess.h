#pragma once
// Child processes for the end-to-end tests: torvane-camsim and torvane-cli started with the
// environment a test asks for, their output read line by line, camsim's start-up read up to
// its "ready" line, and a private temporary folder for one run.
//
//     TE2eCamsim sim(TORVANE_CAMSIM_PATH, {"--server", "127.0.0.40:0"},
//                    {"series=T,ip=127.0.0.41,port=8081"}, std::chrono::seconds(20));
//     ASSERT_TRUE(sim.Ready()) << sim.StartOutput();
//     const TE2eRun run = RunToEnd({TORVANE_CLI_PATH, "upgrade", ...}, std::chrono::minutes(2),
//                                  {"TORVANE_CLI_TIME_SCALE=0.001"});
//     sim.Stop(std::chrono::seconds(20));
//     EXPECT_NE(sim.Output().find("received"), std::string::npos) << sim.Output();
//
// Every wait is bounded and real time (the sleeper does not shorten it): a read gives up at
// its deadline, a wait for the exit kills the child once its deadline passes, and a child
// still running when its object goes is killed and reaped.

#include "i18n/StrRes.h"

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace torvane::test {

using TE2eClock = std::chrono::steady_clock;

// The usual bounds: camsim's start-up up to "ready" (and its stop), and one run of the CLI.
inline constexpr std::chrono::milliseconds E2eReadyTimeout{20000};
inline constexpr std::chrono::milliseconds E2eRunTimeout{120000};

// The point in time `timeout` from now.
[[nodiscard]] TE2eClock::time_point E2eDeadline(std::chrono::milliseconds timeout);

// Where a child's standard error goes.
enum class TChildStderr {
    Merged,    // into the pipe of its standard output, in the order written
    Inherited, // the test's own standard error: not read, not part of the output
};

// A child process (posix_spawn, argv[0] the program's path) with its standard output on a
// pipe. Entries of extraEnv ("NAME=value") replace inherited variables of the same name;
// the rest of the test's environment is passed on. Killed (SIGKILL) and reaped when the
// object goes. Throws std::runtime_error when the program cannot be started.
//
// Reading may go on in another thread than Terminate and Wait (camsim's drain does so);
// the reading functions themselves are for one thread.
class TE2eProcess {
public:
    explicit TE2eProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnv = {},
                         TChildStderr stderrMode = TChildStderr::Merged);
    TE2eProcess(const TE2eProcess&) = delete;
    TE2eProcess& operator=(const TE2eProcess&) = delete;
    ~TE2eProcess();

    // The next output line without its LF; none at the end of the output or once the
    // deadline has passed. A last line that lacks its LF is given at the end of the output.
    [[nodiscard]] std::optional<std::string> ReadLine(TE2eClock::time_point deadline);
    // Every further line, up to the end of the output or the deadline.
    [[nodiscard]] std::vector<std::string> ReadLines(TE2eClock::time_point deadline);
    // Reads up to the end of the output or the deadline and gives what ReadLine has not
    // given yet, as it came.
    [[nodiscard]] std::string ReadRest(TE2eClock::time_point deadline);
    // Everything read from the child so far, as it came.
    [[nodiscard]] const std::string& Output() const { return FAll; }

    // Asks the child to end (SIGTERM); nothing once it has been reaped.
    void Terminate();
    // Sends the child a signal; nothing once it has been reaped.
    void Signal(int sig);
    // After Wait: the signal that ended the child (SIGKILL when Wait killed it at its
    // deadline); 0 when it exited by itself.
    [[nodiscard]] int EndSignal() const { return FEndSignal; }
    // Waits for the child to end; once the deadline has passed it is killed (SIGKILL). The
    // exit status; -1 when a signal ended it or it had been reaped already.
    int Wait(TE2eClock::time_point deadline);

private:
    // One read from the pipe: false at the end of the output or at the deadline.
    bool Fill(TE2eClock::time_point deadline);

    pid_t FPid = -1;
    int FOut = -1;
    std::string FAll;
    std::size_t FTaken = 0; // FAll up to here has been given by ReadLine or ReadRest
    bool FEof = false;
    int FEndSignal = 0;
};

// One finished run of a program.
struct TE2eRun {
    int ExitCode = -1;              // -1 when a signal ended it, or it was killed at the bound
    std::vector<std::string> Lines; // its output line by line, without the LFs
    std::string Output;             // the same lines, each with its LF
};

// Runs a program to its end: its output and exit status. A run still going after timeout
// is killed.
[[nodiscard]] TE2eRun RunToEnd(const std::vector<std::string>& argv,
                               std::chrono::milliseconds timeout,
                               const std::vector<std::string>& extraEnv = {},
                               TChildStderr stderrMode = TChildStderr::Merged);

// True when line ends with text (an empty text never matches).
[[nodiscard]] bool EndsWith(const std::string& line, const std::string& text);
// How many of the lines end with text.
[[nodiscard]] int CountEndingWith(const std::vector<std::string>& lines, const std::string& text);
// How many of the lines end with the text of the message key in the current language.
[[nodiscard]] inline int CountKey(const std::vector<std::string>& lines, const std::string& key) {
    return CountEndingWith(lines, GetStrRes(key));
}

// The operation log of an English run that installs offered on an F or H camera that ran
// current: the line that names the run (firmware and camera), the designed lines, and the
// version read once the camera is back.
[[nodiscard]] std::vector<std::string> EnglishUpgradeLines(const std::string& naming,
                                                           const std::string& current,
                                                           const std::string& offered);

// torvane-camsim for one test: started with its options and one "--camera" per entry of
// cameras, its start-up read up to the line "ready" (or the end of its output, or
// readyTimeout). Once it is ready the rest of its output is drained in the background, so
// that it never stalls on a full pipe while the test runs the CLI. Stopped when asked, and
// at the latest when the object goes.
class TE2eCamsim {
public:
    TE2eCamsim(const std::string& program, const std::vector<std::string>& options,
               const std::vector<std::string>& cameras, std::chrono::milliseconds readyTimeout,
               TChildStderr stderrMode = TChildStderr::Merged);
    TE2eCamsim(const TE2eCamsim&) = delete;
    TE2eCamsim& operator=(const TE2eCamsim&) = delete;
    ~TE2eCamsim();

    // The line "ready" came.
    [[nodiscard]] bool Ready() const { return FReady; }
    // The lines up to "ready" and that line (or all there were, when it never came), each
    // with its LF.
    [[nodiscard]] const std::string& StartOutput() const { return FStartOutput; }
    // The firmware server's URL from the line "server <url>"; empty without one.
    [[nodiscard]] const std::string& Server() const { return FServer; }
    // The port of the camera on ip from its "camera <series> <ip>:<port> ..." line; empty
    // when no camera has that address.
    [[nodiscard]] std::string Port(const std::string& ip) const;

    // Stops camsim: SIGTERM, the rest of its output read and the process reaped (killed
    // once timeout has passed). Later calls do nothing.
    void Stop(std::chrono::milliseconds timeout);
    // After Stop: everything camsim printed, and what it printed after "ready".
    [[nodiscard]] const std::string& Output() const { return FProcess.Output(); }
    [[nodiscard]] const std::string& LaterOutput() const { return FLaterOutput; }

private:
    TE2eProcess FProcess;
    std::thread FDrain;
    std::map<std::string, std::string> FPorts;
    std::string FServer;
    std::string FStartOutput;
    std::string FLaterOutput;
    bool FReady = false;
    bool FStopped = false;
};

// A private temporary folder for one run, ${TMPDIR:-/tmp}/<name>_<pid>, made (0700) when
// the object is made and removed with all it holds when the object goes.
class TE2eRunFolder {
public:
    explicit TE2eRunFolder(const std::string& name);
    TE2eRunFolder(const TE2eRunFolder&) = delete;
    TE2eRunFolder& operator=(const TE2eRunFolder&) = delete;
    ~TE2eRunFolder();

    [[nodiscard]] const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

} // namespace torvane::test
