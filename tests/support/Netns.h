#pragma once
// Network namespaces that a test makes for itself, so that a search on "every interface"
// can be tried without touching the host's network: `ip netns add` with names unique to
// this process, veth pairs made inside them (their names exist in those namespaces only),
// addresses from 198.18.0.0/15. Everything is deleted again when the objects go.
//
//     TTwoNetworkLab lab;                       // a PC with two links, a camera namespace each
//     ASSERT_TRUE(lab.Ok()) << lab.Error();
//     TNetnsCamera cameraA(lab.CamA(), "a", TTwoNetworkLab::CameraA);
//     TNetnsScope inPc(lab.Pc());               // this thread now searches from the PC
//
// Needs root (CAP_SYS_ADMIN) and iproute2. A lab that cannot be built says why in Error();
// tests fail with it rather than skip, so that a machine where they cannot run is noticed.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace torvane::test {

// The path of iproute2's program ip (/usr/sbin/ip, ...); empty when it is not installed.
[[nodiscard]] std::string IpProgram();
// Runs `ip args...` to its end: true when it
// succeeded; its output goes to *output (standard output and error together).
bool RunIp(const std::vector<std::string>& args, std::string* output = nullptr);

// A network namespace of this test process, deleted (with the links inside it) when the
// object goes.
class TNetns {
public:
    // role: a short word that ends the name ("pc"): "tv<pid>-<counter>-<role>".
    explicit TNetns(const std::string& role);
    ~TNetns();
    TNetns(const TNetns&) = delete;
    TNetns& operator=(const TNetns&) = delete;

    [[nodiscard]] bool Ok() const { return FFd >= 0; }
    [[nodiscard]] const std::string& Error() const { return FError; }
    [[nodiscard]] const std::string& Name() const { return FName; }
    // An open descriptor of the namespace, for setns.
    [[nodiscard]] int Fd() const { return FFd; }
    // `ip -n <name> args...`; on failure the command and its output go to Error().
    bool Ip(const std::vector<std::string>& args);

private:
    std::string FName;
    std::string FError;
    int FFd = -1;
    bool FCreated = false;
};

// Moves the calling thread into a namespace (setns) for the scope and back at its end.
// Sockets and threads made meanwhile stay in that namespace for their whole life.
class TNetnsScope {
public:
    explicit TNetnsScope(const TNetns& ns);
    ~TNetnsScope();
    TNetnsScope(const TNetnsScope&) = delete;
    TNetnsScope& operator=(const TNetnsScope&) = delete;

    [[nodiscard]] bool Ok() const { return FEntered; }

private:
    int FHome = -1;
    bool FEntered = false;
};

// A name for a link that no other run on this machine uses: "tv" + the process id in hex
// + a counter + suffix (at most 15 bytes).
[[nodiscard]] std::string UniqueLinkName(const std::string& suffix);

// The PC of an installer with two networks: namespace Pc() with link LinkA() on
// 198.18.1.0/24 (its address 198.18.1.1, the default route through 198.18.1.254) and link
// LinkB() on 198.18.2.0/24 (198.18.2.1); each link's other end is in a camera namespace,
// CamA() (198.18.1.2) and CamB() (198.18.2.2). All links up, loopback up everywhere.
class TTwoNetworkLab {
public:
    static constexpr const char* PcA = "198.18.1.1";
    static constexpr const char* CameraA = "198.18.1.2";
    static constexpr const char* PcB = "198.18.2.1";
    static constexpr const char* CameraB = "198.18.2.2";

    TTwoNetworkLab();

    [[nodiscard]] bool Ok() const { return FError.empty(); }
    [[nodiscard]] const std::string& Error() const { return FError; }
    [[nodiscard]] TNetns& Pc() { return FPc; }
    [[nodiscard]] TNetns& CamA() { return FCamA; }
    [[nodiscard]] TNetns& CamB() { return FCamB; }
    [[nodiscard]] const std::string& LinkA() const { return FLinkA; }
    [[nodiscard]] const std::string& LinkB() const { return FLinkB; }

    // Sets a PC link up or down; false (with Error) when ip fails.
    bool SetLink(const std::string& link, bool up);
    // Takes every address off a PC link, or gives it back (PcA or PcB with /24).
    bool FlushAddress(const std::string& link);
    bool AddAddress(const std::string& link, const std::string& address);

private:
    bool Fail(const std::string& what);

    TNetns FPc;
    TNetns FCamA;
    TNetns FCamB;
    std::string FLinkA;
    std::string FLinkB;
    std::string FError;
};

// A small responder that plays three cameras inside a namespace: it answers the MO_I
// search (UDP 10000), the CTP search (UDP 7999) and the T-series search (UDP 8600) with
// a camera each, named "<tag>-moi", "<tag>-ctp" and "<tag>-t", all at the given address.
// Answers go back to the probe's sender; probes are counted per family.
class TNetnsCamera {
public:
    TNetnsCamera(const TNetns& ns, std::string tag, std::string address);
    ~TNetnsCamera();
    TNetnsCamera(const TNetnsCamera&) = delete;
    TNetnsCamera& operator=(const TNetnsCamera&) = delete;

    [[nodiscard]] bool Ok() const { return FError.empty(); }
    [[nodiscard]] const std::string& Error() const { return FError; }
    // Probes received so far (all three families).
    [[nodiscard]] int Probes() const { return FProbes.load(); }
    // The source addresses the probes came from, as "a.b.c.d".
    [[nodiscard]] std::vector<std::string> ProbeSources() const;

private:
    void Run();

    std::string FTag;
    std::string FAddress;
    std::string FError;
    int FSockets[3] = {-1, -1, -1};
    int FWake[2] = {-1, -1};
    std::atomic<int> FProbes{0};
    mutable std::mutex FLock;
    std::vector<std::string> FSources;
    std::thread FThread;
};

} // namespace torvane::test
