#include "Discovery.h"

#include "Console.h"
#include "Text.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <vector>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

namespace camsim {

namespace {

void Put16LE(std::string& d, std::size_t at, unsigned value) {
    d[at] = static_cast<char>(value & 0xFF);
    d[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void Put32LE(std::string& d, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        d[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

// A text into a zero-filled field, cut so that at least one zero byte ends it.
void PutText(std::string& d, std::size_t at, std::size_t width, std::string_view text) {
    const std::size_t n = std::min(text.size(), width - 1);
    d.replace(at, n, text.substr(0, n));
}

// "1.2.3.4" as four bytes; missing or unreadable parts are 0.
std::string VersionBytes(const std::string& version) {
    std::string out(4, '\0');
    const std::vector<std::string> parts = Split(version, '.');
    for (std::size_t i = 0; i < 4 && i < parts.size(); ++i) {
        unsigned long long v = 0;
        std::string digits = parts[i];
        digits.erase(std::remove_if(digits.begin(), digits.end(),
                                    [](char c) { return c < '0' || c > '9'; }),
                     digits.end());
        if (ParseUnsigned(digits, 255, v)) {
            out[i] = static_cast<char>(v);
        }
    }
    return out;
}

std::string Header1010(std::uint16_t code, std::uint16_t bodyLength) {
    std::string d(8, '\0');
    d[0] = d[1] = '\x10';
    Put16LE(d, 2, code);
    Put16LE(d, 6, bodyLength);
    return d;
}

std::uint16_t Code1010(std::string_view d) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(d[2]) |
                                      (static_cast<unsigned char>(d[3]) << 8));
}

// One socket on 127.0.0.1:port for every camera of a family.
class TFamilySocket {
public:
    TFamilySocket(TEventLoop& loop, std::uint16_t port, const char* what) : FLoop(loop) {
        const TLoopbackEndpoint endpoint = TLoopbackEndpoint::Parse("127.0.0.1", port, what);
        TSocket socket(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        const sockaddr_in address = endpoint.SocketAddress();
        if (!socket.IsOpen() ||
            ::bind(socket.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            Complain(std::string(what) + " " + endpoint.Text() + ": " + SystemError(errno) +
                     "; those cameras will not answer the search");
            return;
        }
        FSocket = std::move(socket);
        FLoop.Watch(FSocket.Fd(), POLLIN, [this](short) { Receive(); });
    }
    ~TFamilySocket() {
        if (FSocket.IsOpen()) {
            FLoop.Unwatch(FSocket.Fd());
        }
    }
    TFamilySocket(const TFamilySocket&) = delete;
    TFamilySocket& operator=(const TFamilySocket&) = delete;

    std::vector<TDiscoveryReplies*> Cameras;

private:
    void Receive() {
        for (;;) {
            char buffer[2048];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(FSocket.Fd(), buffer, sizeof buffer, 0,
                                         reinterpret_cast<sockaddr*>(&from), &length);
            if (n < 0) {
                return;
            }
            if (!TLoopbackEndpoint::IsLoopback(from)) {
                continue;
            }
            const std::string datagram(buffer, static_cast<std::size_t>(n));
            const std::vector<TDiscoveryReplies*> cameras = Cameras; // answers may not leave
            for (TDiscoveryReplies* camera : cameras) {
                camera->Answer(datagram, from);
            }
        }
    }

    TEventLoop& FLoop;
    TSocket FSocket;
};

std::map<TDiscoveryReplies::EFamily, std::unique_ptr<TFamilySocket>>& FamilySockets() {
    static std::map<TDiscoveryReplies::EFamily, std::unique_ptr<TFamilySocket>> sockets;
    return sockets;
}

} // namespace

TDiscoveryReplies::TDiscoveryReplies(TEventLoop& loop, EFamily family,
                                     const TLoopbackEndpoint& endpoint, TDiscoveryFactsFn facts)
    : FFamily(family), FEndpoint(endpoint), FFacts(std::move(facts)) {
    // The camera's own socket: its replies come from its address.
    TSocket socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in own = TLoopbackEndpoint::Parse(FEndpoint.Address(), 0, "camera address")
                          .SocketAddress();
    if (socket.IsOpen() &&
        ::bind(socket.Fd(), reinterpret_cast<const sockaddr*>(&own), sizeof own) == 0) {
        FSendSocket = std::move(socket);
    } else {
        Complain("camera " + FEndpoint.Text() + ": search reply socket: " + SystemError(errno));
    }
    auto& slot = FamilySockets()[family];
    if (!slot) {
        slot = std::make_unique<TFamilySocket>(
            loop, family == EFamily::MoI ? MoIPort : Port1010,
            family == EFamily::MoI ? "MO_I search" : "1010 search");
    }
    slot->Cameras.push_back(this);
}

TDiscoveryReplies::~TDiscoveryReplies() {
    auto& sockets = FamilySockets();
    const auto it = sockets.find(FFamily);
    if (it == sockets.end()) {
        return;
    }
    auto& cameras = it->second->Cameras;
    cameras.erase(std::remove(cameras.begin(), cameras.end(), this), cameras.end());
    if (cameras.empty()) {
        sockets.erase(it);
    }
}

std::string TDiscoveryReplies::Describe() const {
    return FFamily == EFamily::MoI ? "MO_I search on 127.0.0.1:" + std::to_string(MoIPort)
                                   : "1010 search on 127.0.0.1:" + std::to_string(Port1010);
}

void TDiscoveryReplies::Answer(std::string_view datagram, const sockaddr_in& from) {
    const std::optional<TDiscoveryFacts> facts = FFacts ? FFacts() : std::nullopt;
    if (!facts) {
        return; // down or restarting: no answer
    }
    if (FFamily == EFamily::MoI) {
        // The search request: "MO_I", operation 0. Other datagrams reach this port too
        // (another probe sent to 10000, the tool's own listener traffic) and are ignored.
        if (datagram.size() >= 23 && StartsWith(datagram, "MO_I") && datagram[4] == 0 &&
            datagram[5] == 0) {
            SendTo(MoIReply(*facts), from);
        }
        return;
    }
    if (datagram.size() < 8 || datagram[0] != '\x10' || datagram[1] != '\x10') {
        return;
    }
    const std::string mac = MacBytes();
    switch (Code1010(datagram)) {
    case 0x0F01:
        Broadcast1010(Hello1010(), from);
        break;
    case 0x0F12: // the answer to a hello: its body begins with the hello's byte 12, our MAC
        if (datagram.size() >= 136 && datagram.substr(8, 6) == mac) {
            Broadcast1010(Info1010(*facts), from);
        }
        break;
    case 0x0F0F: // the acknowledgement of the information: its MAC at 96
        if (datagram.size() >= 136 && datagram.substr(96, 6) == mac) {
            Broadcast1010(Ddns1010(), from);
        }
        break;
    default:
        break;
    }
}

// 02, the last three bytes of the camera's address and its port: unique per camera.
std::string TDiscoveryReplies::MacBytes() const {
    const std::uint32_t ip = ntohl(FEndpoint.SocketAddress().sin_addr.s_addr);
    const std::uint16_t port = FEndpoint.Port();
    std::string mac(6, '\0');
    mac[0] = '\x02';
    mac[1] = static_cast<char>((ip >> 16) & 0xFF);
    mac[2] = static_cast<char>((ip >> 8) & 0xFF);
    mac[3] = static_cast<char>(ip & 0xFF);
    mac[4] = static_cast<char>(port >> 8);
    mac[5] = static_cast<char>(port & 0xFF);
    return mac;
}

std::string TDiscoveryReplies::MoIReply(const TDiscoveryFacts& facts) const {
    constexpr std::uint32_t ContentLength = 195;
    std::string d(23 + ContentLength, '\0');
    d.replace(0, 4, "MO_I");
    Put16LE(d, 4, 1); // search answer
    Put32LE(d, 15, ContentLength);
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string id;
    for (const char c : MacBytes()) {
        id += Hex[(static_cast<unsigned char>(c) >> 4) & 0x0F];
        id += Hex[static_cast<unsigned char>(c) & 0x0F];
    }
    PutText(d, 23, 13, id);
    PutText(d, 36, 21, "camsim-F");
    const sockaddr_in address = FEndpoint.SocketAddress();
    d.replace(57, 4, reinterpret_cast<const char*>(&address.sin_addr.s_addr), 4);
    d.replace(61, 4, std::string("\xFF\x00\x00\x00", 4)); // 255.0.0.0
    d.replace(65, 4, std::string("\x7F\x00\x00\x01", 4)); // 127.0.0.1
    d.replace(69, 4, std::string("\x7F\x00\x00\x01", 4));
    d.replace(77, 4, VersionBytes(facts.SysVersion));
    d.replace(81, 4, VersionBytes(facts.UiVersion));
    d[85] = static_cast<char>(FEndpoint.Port() >> 8); // network order
    d[86] = static_cast<char>(FEndpoint.Port() & 0xFF);
    d[87] = 0; // no DHCP
    return d;
}

std::string TDiscoveryReplies::Hello1010() const {
    std::string d = Header1010(0x8F01, 132);
    d.resize(140, '\0');
    d.replace(12, 6, MacBytes());
    return d;
}

std::string TDiscoveryReplies::Info1010(const TDiscoveryFacts& facts) const {
    std::string d = Header1010(0x8F12, 128);
    d.resize(136, '\0');
    PutText(d, 8, 16, FEndpoint.Address());
    PutText(d, 24, 16, "255.0.0.0");
    PutText(d, 40, 16, "127.0.0.1");
    PutText(d, 56, 16, "127.0.0.1");
    PutText(d, 72, 16, "127.0.0.1");
    Put16LE(d, 88, FEndpoint.Port());
    Put16LE(d, 94, 554);
    d.replace(96, 6, MacBytes());
    Put16LE(d, 102, 1);
    d.replace(104, 7, "CSH" + MacBytes().substr(2, 4)); // device ID
    d[111] = 0; // no DHCP
    PutText(d, 112, 24, "camsim-H");
    d += facts.SysVersion;
    d += '\0';
    return d;
}

std::string TDiscoveryReplies::Ddns1010() const {
    std::string d = Header1010(0x8F0F, 392);
    d.resize(400, '\0');
    d.replace(96, 6, MacBytes());
    PutText(d, 142, 130, "ddns.camsim.test");
    PutText(d, 272, 64, "camsim");
    PutText(d, 336, 64, "camsim");
    return d;
}

void TDiscoveryReplies::SendTo(const std::string& bytes, const sockaddr_in& to) {
    if (!FSendSocket.IsOpen() || !TLoopbackEndpoint::IsLoopback(to)) {
        return;
    }
    (void)::sendto(FSendSocket.Fd(), bytes.data(), bytes.size(), 0,
                   reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

void TDiscoveryReplies::Broadcast1010(const std::string& bytes, const sockaddr_in& from) {
    const sockaddr_in broadcast =
        TLoopbackEndpoint::Parse("127.0.0.1", Broadcast1010Port, "1010 broadcast").SocketAddress();
    SendTo(bytes, broadcast);
    if (from.sin_addr.s_addr != broadcast.sin_addr.s_addr || from.sin_port != broadcast.sin_port) {
        SendTo(bytes, from);
    }
}

std::unique_ptr<TDiscoveryReplies> StartDiscoveryReplies(TEventLoop& loop,
                                                         const std::string& series,
                                                         const TLoopbackEndpoint& endpoint,
                                                         TDiscoveryFactsFn facts) {
    if (series == "F") {
        return std::make_unique<TDiscoveryReplies>(loop, TDiscoveryReplies::EFamily::MoI,
                                                   endpoint, std::move(facts));
    }
    if (series == "H") {
        return std::make_unique<TDiscoveryReplies>(loop, TDiscoveryReplies::EFamily::Proto1010,
                                                   endpoint, std::move(facts));
    }
    return nullptr;
}

} // namespace camsim
