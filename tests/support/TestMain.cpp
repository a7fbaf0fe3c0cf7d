// The main of every test executable. ctest runs the tests of one executable as separate
// processes side by side, so each process gets temporary and config folders of its own
// (below the executable's TMPDIR and XDG_CONFIG_HOME), removed again when it ends: no two
// running tests ever share a catalogue copy, a package or a settings file.
//
// Every test runs in a fresh context (platform/Context.h): host, sleeper, deployment
// settings, adapter factory, T-series client and the rest start anew, so no test sees what
// an earlier one in the same process set.
//
// It also keeps every test off the host's network: the search's broadcast setting starts
// at loopback instead of "auto" (in every test's context), and TORVANE_TEST_LOOPBACK_NETNS
// names the network namespace the tests start in, so that the search of this process and
// of every program it starts (torvane-cli, the window) sends to loopback only and never
// lists the host's interfaces there, whatever a test sets. Only a thread or a program inside a namespace
// that a test made for itself (support/Netns.h) searches on that namespace's interfaces.

#include "i18n/Deployment.h"
#include "platform/Context.h"
#include "platform/FileOps.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string PrivateFolder(const char* variable, const char* fallback) {
    const char* base = std::getenv(variable);
    std::string folder = (base != nullptr && *base != '\0') ? base : fallback;
    folder += "/run-" + std::to_string(::getpid());
    torvane::platform::ForceFolder(folder);
    ::setenv(variable, folder.c_str(), 1);
    return folder;
}

// Before anything reads the guard (it is read once per process).
void ConfineSearchToLoopback() {
    struct stat st {};
    const std::string here = ::stat("/proc/thread-self/ns/net", &st) == 0
                                 ? std::to_string(static_cast<unsigned long long>(st.st_ino))
                                 : std::string("all"); // unknown: confine every namespace
    ::setenv("TORVANE_TEST_LOOPBACK_NETNS", here.c_str(), 1);
    torvane::SetBroadcastAddress("127.0.0.1");
}

// A fresh context for each test, from before its fixture is made until after it is gone.
class TFreshContext : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override {
        FContext = std::make_unique<torvane::platform::TContext>();
        FScope = std::make_unique<torvane::platform::TContextScope>(*FContext);
        torvane::SetBroadcastAddress("127.0.0.1");
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        FScope.reset();
        FContext.reset();
    }

private:
    std::unique_ptr<torvane::platform::TContext> FContext;
    std::unique_ptr<torvane::platform::TContextScope> FScope;
};

} // namespace

int main(int argc, char** argv) {
    ConfineSearchToLoopback();
    const std::string temp = PrivateFolder("TMPDIR", "/tmp");
    const std::string config = PrivateFolder("XDG_CONFIG_HOME", "/tmp");
    ::testing::InitGoogleMock(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new TFreshContext);
    const int result = RUN_ALL_TESTS();
    torvane::platform::DeleteFolder(temp, true);
    torvane::platform::DeleteFolder(config, true);
    return result;
}
