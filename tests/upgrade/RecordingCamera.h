#pragma once
// A camera adapter for whole runs of the worker in tests: everything as the kind-level
// class does it (login, version, catalogue, download against loopback peers), except the
// upload, which records the bytes it would send.

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

} // namespace torvane::test
