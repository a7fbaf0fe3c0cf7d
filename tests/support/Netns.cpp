#include "support/Netns.h"

#include "support/E2eProcess.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace torvane::test {

namespace {

constexpr std::chrono::seconds IpTimeout{30};
// The test range: every address a lab uses is in 198.18.0.0/15.
constexpr std::uint32_t TestNet = 0xC6120000;
constexpr std::uint32_t TestMask = 0xFFFE0000;

std::string Joined(const std::vector<std::string>& args) {
    std::string out = "ip";
    for (const std::string& a : args) {
        out += " " + a;
    }
    return out;
}

std::atomic<int> GCounter{0};

std::string Hex(unsigned long value) {
    char buffer[24];
    std::snprintf(buffer, sizeof(buffer), "%lx", value);
    return buffer;
}

void PutText(std::string& d, std::size_t offset, const std::string& text, std::size_t width) {
    d.replace(offset, std::min(text.size(), width), text.substr(0, width));
}

void PutAddress(std::string& d, std::size_t offset, const std::string& address) {
    in_addr a{};
    (void)::inet_pton(AF_INET, address.c_str(), &a);
    d.replace(offset, 4, reinterpret_cast<const char*>(&a), 4);
}

} // namespace

std::string IpProgram() {
    for (const char* path : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"}) {
        if (::access(path, X_OK) == 0) {
            return path;
        }
    }
    return {};
}

bool RunIp(const std::vector<std::string>& args, std::string* output) {
    const std::string program = IpProgram();
    if (program.empty()) {
        if (output != nullptr) {
            *output = "iproute2 (the program ip) is not installed";
        }
        return false;
    }
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    try {
        const TE2eRun run = RunToEnd(argv, IpTimeout);
        if (output != nullptr) {
            *output = run.Output;
        }
        return run.ExitCode == 0;
    } catch (const std::exception& e) {
        if (output != nullptr) {
            *output = e.what();
        }
        return false;
    }
}

// --- TNetns -------------------------------------------------------------------------------

TNetns::TNetns(const std::string& role)
    : FName("tv" + std::to_string(::getpid()) + "-" + std::to_string(GCounter.fetch_add(1)) +
            "-" + role) {
    std::string output;
    if (!RunIp({"netns", "add", FName}, &output)) {
        // A namespace of this name can only be left over from a dead process that had our
        // process id: take it away and try once more.
        (void)RunIp({"netns", "del", FName});
        if (!RunIp({"netns", "add", FName}, &output)) {
            FError = "cannot create the network namespace " + FName +
                     " (this test needs root and iproute2): " + output;
            return;
        }
    }
    FCreated = true;
    FFd = ::open(("/run/netns/" + FName).c_str(), O_RDONLY | O_CLOEXEC);
    if (FFd < 0) {
        FError = "cannot open /run/netns/" + FName + ": " + std::strerror(errno);
        return;
    }
    if (!Ip({"link", "set", "lo", "up"})) {
        ::close(FFd);
        FFd = -1;
    }
}

TNetns::~TNetns() {
    if (FFd >= 0) {
        ::close(FFd);
    }
    if (FCreated) {
        (void)RunIp({"netns", "del", FName});
    }
}

bool TNetns::Ip(const std::vector<std::string>& args) {
    std::vector<std::string> all{"-n", FName};
    all.insert(all.end(), args.begin(), args.end());
    std::string output;
    if (RunIp(all, &output)) {
        return true;
    }
    FError += Joined(all) + ": " + output;
    return false;
}

// --- TNetnsScope --------------------------------------------------------------------------

TNetnsScope::TNetnsScope(const TNetns& ns) {
    FHome = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    FEntered = FHome >= 0 && ns.Fd() >= 0 && ::setns(ns.Fd(), CLONE_NEWNET) == 0;
}

TNetnsScope::~TNetnsScope() {
    if (FEntered && ::setns(FHome, CLONE_NEWNET) != 0) {
        // Staying in a namespace of our own is safe; going on in the host's is what matters.
        std::fprintf(stderr, "netns: cannot return to the test's namespace: %s\n",
                     std::strerror(errno));
    }
    if (FHome >= 0) {
        ::close(FHome);
    }
}

std::string UniqueLinkName(const std::string& suffix) {
    const std::string name = "tv" + Hex(static_cast<unsigned long>(::getpid())) +
                             Hex(static_cast<unsigned long>(GCounter.fetch_add(1) & 0xFF)) +
                             suffix;
    return name.substr(0, 15);
}

// --- TTwoNetworkLab -----------------------------------------------------------------------

TTwoNetworkLab::TTwoNetworkLab()
    : FPc("pc"), FCamA("cama"), FCamB("camb"), FLinkA(UniqueLinkName("a")),
      FLinkB(UniqueLinkName("b")) {
    for (TNetns* ns : {&FPc, &FCamA, &FCamB}) {
        if (!ns->Ok()) {
            FError = ns->Error();
            return;
        }
    }
    struct TSide {
        const std::string& Link;
        TNetns& Camera;
        const char* PcAddress;
        const char* CameraAddress;
    };
    const TSide sides[] = {{FLinkA, FCamA, PcA, CameraA}, {FLinkB, FCamB, PcB, CameraB}};
    for (const TSide& side : sides) {
        // Made inside the PC's namespace with its peer in the camera's: neither name ever
        // exists in the host's namespace.
        if (!FPc.Ip({"link", "add", side.Link, "type", "veth", "peer", "name", "cam0", "netns",
                     side.Camera.Name()}) ||
            !FPc.Ip({"addr", "add", std::string(side.PcAddress) + "/24", "dev", side.Link}) ||
            !FPc.Ip({"link", "set", side.Link, "up"}) ||
            !side.Camera.Ip({"addr", "add", std::string(side.CameraAddress) + "/24", "dev",
                             "cam0"}) ||
            !side.Camera.Ip({"link", "set", "cam0", "up"})) {
            Fail("cannot build the link " + side.Link);
            return;
        }
    }
    if (!FPc.Ip({"route", "add", "default", "via", "198.18.1.254", "dev", FLinkA})) {
        Fail("cannot set the default route");
    }
}

bool TTwoNetworkLab::Fail(const std::string& what) {
    FError = what + ": " + FPc.Error() + FCamA.Error() + FCamB.Error();
    return false;
}

bool TTwoNetworkLab::SetLink(const std::string& link, bool up) {
    return FPc.Ip({"link", "set", link, up ? "up" : "down"}) || Fail("link " + link);
}

bool TTwoNetworkLab::FlushAddress(const std::string& link) {
    return FPc.Ip({"addr", "flush", "dev", link}) || Fail("flush " + link);
}

bool TTwoNetworkLab::AddAddress(const std::string& link, const std::string& address) {
    return FPc.Ip({"addr", "add", address + "/24", "dev", link}) || Fail("address " + link);
}

// --- TNetnsCamera -------------------------------------------------------------------------

namespace {

enum TFamily { FamilyMoi = 0, FamilyCtp = 1, FamilyT = 2 };
constexpr std::uint16_t FamilyPorts[3] = {10000, 7999, 8600};

std::string MoiAnswer(const std::string& tag, const std::string& address) {
    std::string d(23 + 64, '\0');
    d.replace(0, 4, "MO_I");
    d[4] = 1; // operation 1: search answer
    d[15] = 64;
    PutText(d, 23, tag + "-MOI", 13);
    PutText(d, 36, tag + "-moi", 21);
    PutAddress(d, 57, address);
    d[85] = 0x1F; // port 8080, network order
    d[86] = static_cast<char>(0x90);
    return d;
}

std::string CtpAnswer(const std::string& tag, const std::string& address) {
    return "REPLY\r\n-name " + tag + "-ctp\r\n-ip " + address + "\r\n-mac 02:00:00:" + tag +
           ":00:05\r\n-portctp 81\r\n-version CTP 2.0.0 camera\r\n";
}

std::string TAnswer(const std::string& tag, const std::string& address) {
    std::string d(516, '\0');
    d[0] = 'D';
    d[1] = 'H';
    d[2] = 1;
    d[3] = 8;
    PutText(d, 4, address, 16);
    const char mac[6] = {0x02, 0, 0, 0, static_cast<char>(tag.empty() ? 0 : tag[0]), 0x09};
    d.replace(84, 6, mac, 6);
    d[90] = 0x51; // port 81
    PutText(d, 124, tag + "-t", 80);
    return d;
}

bool IsProbe(int family, const char* data, std::size_t length) {
    const std::string_view d(data, length);
    switch (family) {
    case FamilyMoi:
        return d.size() >= 6 && d.substr(0, 4) == "MO_I" && d[4] == 0 && d[5] == 0;
    case FamilyCtp:
        return d.substr(0, 16) == "SEARCH * CTP/1.0";
    default:
        return d.size() == 4 && d == std::string_view("DH\x01\x01", 4);
    }
}

} // namespace

TNetnsCamera::TNetnsCamera(const TNetns& ns, std::string tag, std::string address)
    : FTag(std::move(tag)), FAddress(std::move(address)) {
    if (::pipe2(FWake, O_CLOEXEC) != 0) {
        FError = "no pipe";
        return;
    }
    {
        TNetnsScope inside(ns);
        if (!inside.Ok()) {
            FError = "cannot enter " + ns.Name();
            return;
        }
        for (int f = 0; f < 3; ++f) {
            FSockets[f] = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in sa{};
            sa.sin_family = AF_INET;
            sa.sin_port = htons(FamilyPorts[f]);
            if (FSockets[f] < 0 ||
                ::bind(FSockets[f], reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) != 0) {
                FError = "cannot bind UDP port " + std::to_string(FamilyPorts[f]) + " in " +
                         ns.Name() + ": " + std::strerror(errno);
                return;
            }
        }
    }
    FThread = std::thread([this] { Run(); });
}

TNetnsCamera::~TNetnsCamera() {
    if (FThread.joinable()) {
        (void)!::write(FWake[1], "x", 1);
        FThread.join();
    }
    for (int fd : FSockets) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    for (int fd : FWake) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

std::vector<std::string> TNetnsCamera::ProbeSources() const {
    std::lock_guard<std::mutex> g(FLock);
    return FSources;
}

void TNetnsCamera::Run() {
    const std::string answers[3] = {MoiAnswer(FTag, FAddress), CtpAnswer(FTag, FAddress),
                                    TAnswer(FTag, FAddress)};
    for (;;) {
        pollfd waits[4] = {};
        for (int f = 0; f < 3; ++f) {
            waits[f].fd = FSockets[f];
            waits[f].events = POLLIN;
        }
        waits[3].fd = FWake[0];
        waits[3].events = POLLIN;
        if (::poll(waits, 4, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (waits[3].revents != 0) {
            return;
        }
        for (int f = 0; f < 3; ++f) {
            if ((waits[f].revents & POLLIN) == 0) {
                continue;
            }
            char buffer[2048];
            sockaddr_in from{};
            socklen_t fromLength = sizeof(from);
            const ssize_t n = ::recvfrom(FSockets[f], buffer, sizeof(buffer), 0,
                                         reinterpret_cast<sockaddr*>(&from), &fromLength);
            const std::uint32_t source = ntohl(from.sin_addr.s_addr);
            if (n <= 0 || (source & TestMask) != TestNet ||
                !IsProbe(f, buffer, static_cast<std::size_t>(n))) {
                continue; // answers only probes from inside the lab
            }
            {
                char text[INET_ADDRSTRLEN] = {};
                (void)::inet_ntop(AF_INET, &from.sin_addr, text, sizeof(text));
                std::lock_guard<std::mutex> g(FLock);
                FSources.emplace_back(text);
            }
            ++FProbes;
            (void)::sendto(FSockets[f], answers[f].data(), answers[f].size(), 0,
                           reinterpret_cast<const sockaddr*>(&from), sizeof(from));
        }
    }
}

} // namespace torvane::test
