#pragma once
// A camera adapter for whole runs of the worker in tests: everything as the kind-level
// class does it (login, version, catalogue, download against loopback peers), except the
// upload, which records the bytes it would send.

#include "i18n/StrRes.h"
#include "platform/Folders.h"

#include <memory>
#include <string>
#include <vector>

namespace torvane::test {

template <class TKind> class TRecordingCamera : public TKind {
public:
    explicit TRecordingCamera(std::shared_ptr<std::vector<std::string>> uploads)
        : FUploads(std::move(uploads)) {}
    [[nodiscard]] bool Upload(std::string& message) override {
        std::string data;
        (void)platform::ReadFileBytes(this->LocalFirmwarePath(), data);
        FUploads->push_back(data);
        message = "accepted";
        return true;
    }

private:
    std::shared_ptr<std::vector<std::string>> FUploads;
};

// A run's log without the line that names the run and without the version read after the
// camera came back (the recording camera never changes its version): the lines these
// tests look at.
inline std::vector<std::string> WithoutRunFrame(std::vector<std::string> lines) {
    if (!lines.empty()) {
        lines.erase(lines.begin());
    }
    if (lines.size() >= 2 && lines[lines.size() - 2] == GetStrRes("IDS_IPCWORKING")) {
        lines.pop_back();
    }
    return lines;
}

} // namespace torvane::test
