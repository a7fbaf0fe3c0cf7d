// The main of every test executable. ctest runs the tests of one executable as separate
// processes side by side, so each process gets temporary and config folders of its own
// (below the executable's TMPDIR and XDG_CONFIG_HOME), removed again when it ends: no two
// running tests ever share a catalogue copy, a package or a settings file.

#include "platform/FileOps.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
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

} // namespace

int main(int argc, char** argv) {
    const std::string temp = PrivateFolder("TMPDIR", "/tmp");
    const std::string config = PrivateFolder("XDG_CONFIG_HOME", "/tmp");
    ::testing::InitGoogleMock(&argc, argv);
    const int result = RUN_ALL_TESTS();
    torvane::platform::DeleteFolder(temp, true);
    torvane::platform::DeleteFolder(config, true);
    return result;
}
