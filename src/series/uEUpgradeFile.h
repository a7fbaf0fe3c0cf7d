#pragma once
// The E-series firmware transfer: a PK2 package sent to the camera over CTP in three
// phases (log in and leave the configuration mode; send the sections in the upgrade mode;
// wait for the camera to come back after its reboot), and the version read through the
// CTP search. The pieces live in files of their own, all reached through this header:
//
//   series/Pk2Package     the package's layout and its reader
//   series/CtpFraming     the bytes of every CTP message and how replies are told apart
//   series/CtpClient      TSocketThread, the client of one TCP connection
//   series/CtpSearchReply the one parser of the cameras' search replies
//   series/CtpSearch      the UDP search and the version read

#include "series/CtpClient.h"
#include "series/CtpFraming.h"
#include "series/CtpSearch.h"
#include "series/CtpSearchReply.h"
#include "series/Pk2Package.h"

#include <string>

namespace torvane {

// Sends a PK2 package to the camera: logs in, leaves the configuration mode, sends the
// sections in the upgrade mode and waits for the camera to come back after its reboot.
// True when it did; otherwise false with the translated reason: IDS_PASSWORDERROR, before
// anything is sent, for an account or password with CR or LF (or too long for the login
// message); IDS_NOIPCCONNECT when the camera does not answer the login at all,
// IDS_LOGINERROR when it answers without "200". Throws TCtpError when no socket can be had.
[[nodiscard]] bool UploadPackage(const std::string& packagePath, const std::string& ip, int port,
                                 const std::string& account, const std::string& password,
                                 std::string& message);

} // namespace torvane
