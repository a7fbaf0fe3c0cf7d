#include "series/uEUpgradeFile.h"

#include "i18n/StrRes.h"
#include "platform/Sleeper.h"

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
bool TransferSections(std::istream& package, std::int32_t count, const std::string& ip,
                      int port, std::string& message) {
    platform::SleepMs(CtpModeSwitchWaitMs);
    TSocketThread client(ip, port);
    bool transferred = false;
    if (client.ConnectDevice() != CtpOk || client.SendProbe() != CtpOk) {
        message = GetStrRes("IDS_ENTERUPGRADEERR");
    } else if (count >= 0) {
        std::int32_t sent = 0;
        while (sent < count && client.SendSection(package) == CtpOk) {
            ++sent;
        }
        transferred = sent == count;
    }
    (void)client.CloseSocket();
    platform::SleepMs(CtpModeSwitchWaitMs);
    return transferred;
}

// Phase 3: wait for the reboot, then try to connect until the camera takes a connection.
bool AwaitReboot(const std::string& ip, int port) {
    platform::SleepMs(CtpRebootWaitMs);
    TSocketThread client(ip, port);
    int pauses = 0;
    for (;;) {
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
    if (!TransferSections(package, header.SectionCount(), ip, port, message)) {
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
