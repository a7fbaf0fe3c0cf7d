#include "series/uEUpgradeFile.h"

#include "i18n/StrRes.h"
#include "platform/Sleeper.h"
#include "upgrade/Progress.h"

#include <cstdint>
#include <fstream>

namespace torvane {

namespace {

// Phase 1: log in to the configuration mode and leave it. Empty text on success.
std::string LeaveConfigurationMode(TSocketThread& client, const std::string& account,
                                   const std::string& password) {
    if (client.ConnectDevice() != CtpOk) {
        return GetStrRes("IDS_IPCCONNETERR");
    }
    if (client.SendLogin(account, password) != CtpOk) {
        // Only an answer without "200" is a refused login; a camera that does not answer
        // at all (silent, closed, or the connection never came about) cannot be reached.
        return GetStrRes(client.LastRequestAnswered() ? "IDS_LOGINERROR" : "IDS_NOIPCCONNECT");
    }
    if (client.SendExit() != CtpOk) {
        return GetStrRes("IDS_EXITIPCERR");
    }
    if (client.CloseSocket() != CtpOk) {
        return GetStrRes("IDS_CLOSEIPCERROR");
    }
    return {};
}

// Phase 2: the probe and the sections on a fresh connection. True when every section the
// package announces was accepted; message set when the upgrade mode could not be entered.
// How far into the package the sections sent so far reach.
std::uint64_t SectionsDone(std::istream& package) {
    const std::streamoff at = package.tellg();
    return at > 0 ? static_cast<std::uint64_t>(at) : 0;
}

bool TransferSections(std::istream& package, std::int32_t count, std::uint64_t packageBytes,
                      const std::string& ip, int port, std::string& message) {
    platform::SleepMs(CtpModeSwitchWaitMs);
    TSocketThread client(ip, port);
    bool transferred = false;
    if (client.ConnectDevice() != CtpOk || client.SendProbe() != CtpOk) {
        message = GetStrRes("IDS_ENTERUPGRADEERR");
    } else if (count >= 0) {
        std::int32_t sent = 0;
        ReportProgress(EUpgradePhase::Upload, SectionsDone(package), packageBytes);
        while (sent < count && client.SendSection(package) == CtpOk) {
            ++sent;
            ReportProgress(EUpgradePhase::Upload, SectionsDone(package), packageBytes);
        }
        transferred = sent == count;
    }
    (void)client.CloseSocket();
    platform::SleepMs(CtpModeSwitchWaitMs);
    return transferred;
}

// Phase 3: wait for the reboot, then try to connect until the camera takes a connection.
bool AwaitReboot(const std::string& ip, int port) {
    // The camera is left alone for the whole wait; it goes by in one-second steps so that
    // whoever watches sees the seconds count down.
    WaitReporting(EUpgradePhase::RebootWait, CtpRebootWaitMs);
    TSocketThread client(ip, port);
    int pauses = 0;
    for (;;) {
        ReportProgress(EUpgradePhase::Poll, static_cast<std::uint64_t>(pauses) + 1,
                       CtpRebootPollCount + 1);
        if (client.ConnectDevice() == CtpOk || pauses >= CtpRebootPollCount) {
            break;
        }
        platform::SleepMs(CtpRebootPollWaitMs);
        ++pauses;
    }
    (void)client.CloseSocket();
    platform::SleepMs(CtpModeSwitchWaitMs);
    // Eleven attempts at most; one that succeeds only after the tenth pause still counts
    // as not back, as the worker's own polls do.
    return pauses < CtpRebootPollCount;
}

} // namespace

bool UploadPackage(const std::string& packagePath, const std::string& ip, int port,
                   const std::string& account, const std::string& password,
                   std::string& message) {
    message.clear();
    // Credentials the login message cannot carry are refused before anything is sent.
    if (!ctp::CredentialsSendable(account, password) || !ctp::LoginFits(account, password)) {
        message = GetStrRes("IDS_PASSWORDERROR");
        return false;
    }
    {
        TSocketThread client(ip, port);
        if (!TSocketThread::CheckPK2File(packagePath)) {
            message = GetStrRes("IDS_UPGRADEFILEFAIL");
            return false;
        }
        // A package whose sections are not all there (or would not fit their frames) is
        // refused before the camera leaves its normal mode, rather than part-way through.
        if (!TSocketThread::CheckPK2Layout(packagePath)) {
            message = GetStrRes("IDS_UPGRADEFILEERR");
            return false;
        }
        message = LeaveConfigurationMode(client, account, password);
        if (!message.empty()) {
            return false;
        }
    }

    std::ifstream package(packagePath, std::ios::binary);
    TPk2Reader header(package);
    if (!package || !header.ReadHeader()) {
        // The package went away or shrank while the camera left its configuration mode:
        // stop before the upgrade mode is entered, false with an empty message.
        return false;
    }
    // The package's length, for the progress of its sections (0 when it cannot be had).
    std::uint64_t packageBytes = 0;
    if (const std::streampos at = package.tellg(); at >= 0) {
        package.seekg(0, std::ios::end);
        const std::streamoff end = package ? static_cast<std::streamoff>(package.tellg()) : -1;
        packageBytes = end > 0 ? static_cast<std::uint64_t>(end) : 0;
        package.clear();
        package.seekg(at);
    }
    if (!package) {
        return false;
    }
    if (!TransferSections(package, header.SectionCount(), packageBytes, ip, port, message)) {
        if (message.empty()) {
            message = GetStrRes("IDS_UPGRADEFILEERR");
        }
        return false;
    }
    package.close();

    if (!AwaitReboot(ip, port)) {
        // The camera did not come back: false with an empty message; the worker's own
        // polls that follow tell the user what became of it.
        return false;
    }
    return true;
}

} // namespace torvane
