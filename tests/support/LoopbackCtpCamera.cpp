#include "support/LoopbackCtpCamera.h"

#include "platform/Socket.h"
#include "support/LoopbackIo.h"
#include "support/TestSupport.h"

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace torvane::test {

using detail::DeadlineIn;
using detail::TClock;
using detail::TIoResult;

namespace {

// How long the camera waits for the next bytes of a connection.
constexpr int ConnectionIdleMs = 10000;
// Largest frame payload taken.
constexpr std::size_t MaxPayload = 64 * 1024;

} // namespace

struct TLoopbackCtpCamera::TImpl {
    TCtpCameraHabits Habits;
    platform::TTcpListener Listener;
    detail::TStopSignal Stop;
    std::thread Thread;

    mutable std::mutex Lock;
    mutable std::condition_variable Changed;
    std::vector<std::string> Heard;
    std::string LoginBody;
    std::size_t Connections = 0;
    bool Serving = false;

    void Run();
    void Serve(platform::TTcpSocket& socket, std::size_t index);
    void Configuration(platform::TTcpSocket& socket);
    void Upgrade(platform::TTcpSocket& socket);

    void Hear(const std::string& line) {
        std::lock_guard<std::mutex> g(Lock);
        Heard.push_back(line);
    }
    // Reads until buffer holds at least count bytes: false when the client closed or
    // went quiet first.
    bool ReadAtLeast(platform::TTcpSocket& socket, std::string& buffer, std::size_t count) {
        while (buffer.size() < count) {
            if (detail::ReceiveSome(socket, buffer, 16384, Stop, DeadlineIn(ConnectionIdleMs)) !=
                TIoResult::Done) {
                return false;
            }
        }
        return true;
    }
    // Reads until buffer holds delimiter: its position, or npos when the client closed or
    // went quiet first.
    std::size_t ReadUntil(platform::TTcpSocket& socket, std::string& buffer,
                          const std::string& delimiter) {
        for (;;) {
            const auto at = buffer.find(delimiter);
            if (at != std::string::npos) {
                return at;
            }
            if (buffer.size() > MaxPayload ||
                detail::ReceiveSome(socket, buffer, 16384, Stop, DeadlineIn(ConnectionIdleMs)) !=
                    TIoResult::Done) {
                return std::string::npos;
            }
        }
    }
    // Sends bytes the camera's way: at once, or one byte per segment.
    bool Say(platform::TTcpSocket& socket, const std::string& bytes) {
        if (!Habits.ByteByByte) {
            return detail::SendAll(socket, bytes, Stop, DeadlineIn(ConnectionIdleMs)) ==
                   TIoResult::Done;
        }
        for (const char c : bytes) {
            if (detail::SendAll(socket, std::string_view(&c, 1), Stop,
                                DeadlineIn(ConnectionIdleMs)) != TIoResult::Done ||
                !Stop.WaitFor(Habits.ByteGapMs)) {
                return false;
            }
        }
        return true;
    }
    // Reads (and drops) until the client closes, the camera stops or it goes quiet.
    void UntilClosed(platform::TTcpSocket& socket) {
        std::string sink;
        while (detail::ReceiveSome(socket, sink, 16384, Stop, DeadlineIn(ConnectionIdleMs)) ==
               TIoResult::Done) {
            sink.clear();
        }
    }
};

TLoopbackCtpCamera::TLoopbackCtpCamera(TCtpCameraHabits habits, const std::string& address)
    : FImpl(std::make_unique<TImpl>()) {
    FImpl->Habits = std::move(habits);
    std::uint32_t ip = 0;
    if (!platform::ParseIPv4(address, ip) || !IsLoopbackAddress(ip)) {
        throw std::runtime_error("loopback CTP camera: not a loopback address: " + address);
    }
    if (const auto listening = FImpl->Listener.Listen(ip, 0); !listening) {
        throw std::runtime_error("loopback CTP camera: " + listening.ErrorText());
    }
    FPort = FImpl->Listener.LocalPort();
    FImpl->Thread = std::thread([impl = FImpl.get()] { impl->Run(); });
}

TLoopbackCtpCamera::~TLoopbackCtpCamera() {
    FImpl->Stop.Raise();
    if (FImpl->Thread.joinable()) {
        FImpl->Thread.join();
    }
}

std::vector<std::string> TLoopbackCtpCamera::Heard() const {
    std::lock_guard<std::mutex> g(FImpl->Lock);
    return FImpl->Heard;
}

std::string TLoopbackCtpCamera::LoginBody() const {
    std::lock_guard<std::mutex> g(FImpl->Lock);
    return FImpl->LoginBody;
}

std::size_t TLoopbackCtpCamera::Connections() const {
    std::lock_guard<std::mutex> g(FImpl->Lock);
    return FImpl->Connections;
}

bool TLoopbackCtpCamera::WaitUntilIdle(int timeoutMs) const {
    std::unique_lock<std::mutex> g(FImpl->Lock);
    return FImpl->Changed.wait_for(g, std::chrono::milliseconds(timeoutMs),
                                   [this] { return !FImpl->Serving; });
}

void TLoopbackCtpCamera::TImpl::Run() {
    // One connection at a time, in accept order: the client never opens two at once.
    while (!Stop.Raised()) {
        if (Listener.WaitReadable(detail::SliceMs) != platform::TWaitResult::Ready) {
            continue;
        }
        platform::TTcpSocket socket;
        if (!Listener.Accept(socket) || !socket.SetNonBlocking(true)) {
            continue;
        }
        (void)socket.SetNoDelay(true); // byte by byte means one segment per byte
        std::size_t index = 0;
        {
            std::lock_guard<std::mutex> g(Lock);
            index = Connections++;
            Serving = true;
        }
        Serve(socket, index);
        (void)socket.Close();
        {
            std::lock_guard<std::mutex> g(Lock);
            Serving = false;
        }
        Changed.notify_all();
    }
    (void)Listener.Close();
}

void TLoopbackCtpCamera::TImpl::Serve(platform::TTcpSocket& socket, std::size_t index) {
    if (index == 0) {
        Configuration(socket);
    } else if (index == 1) {
        Upgrade(socket);
    } else {
        UntilClosed(socket); // back after the reboot: the connection is taken
    }
}

void TLoopbackCtpCamera::TImpl::Configuration(platform::TTcpSocket& socket) {
    std::string in;
    for (;;) {
        const auto lineEnd = ReadUntil(socket, in, "\r\n");
        if (lineEnd == std::string::npos) {
            return;
        }
        const std::string line = in.substr(0, lineEnd);
        Hear(line);
        if (line == "CMD exit CTP/1.0") {
            in.erase(0, lineEnd + 2);
            if (Say(socket, "200 OK\r\n")) {
                UntilClosed(socket);
            }
            return;
        }
        if (line != "CMD cfgusr CTP/1.0") {
            (void)Say(socket, "400 Bad Request\r\n");
            return;
        }
        // Header lines up to the empty line, then Content-Length bytes of body.
        const auto headEnd = ReadUntil(socket, in, "\r\n\r\n");
        if (headEnd == std::string::npos) {
            return;
        }
        std::size_t length = 0;
        const auto key = in.find("Content-Length:");
        if (key != std::string::npos && key < headEnd) {
            length = static_cast<std::size_t>(std::stoul(in.substr(key + 15)));
        }
        if (length > MaxPayload || !ReadAtLeast(socket, in, headEnd + 4 + length)) {
            return;
        }
        {
            std::lock_guard<std::mutex> g(Lock);
            LoginBody = in.substr(headEnd + 4, length);
        }
        in.erase(0, headEnd + 4 + length);
        if (Habits.SilentLogin) {
            UntilClosed(socket);
            return;
        }
        if (!Say(socket, Habits.LoginAnswer)) {
            return;
        }
    }
}

void TLoopbackCtpCamera::TImpl::Upgrade(platform::TTcpSocket& socket) {
    std::string in;
    for (;;) {
        const auto lineEnd = ReadUntil(socket, in, "\r\n");
        if (lineEnd == std::string::npos) {
            return;
        }
        const std::string header = in.substr(0, lineEnd);
        Hear(header);
        const auto blank = header.find(' ');
        std::size_t length = 0;
        try {
            length = static_cast<std::size_t>(std::stoul(header.substr(blank + 1)));
        } catch (const std::exception&) {
            (void)Say(socket, "REPLY Error bad frame header\r\n");
            return;
        }
        if (blank == std::string::npos || length > MaxPayload ||
            !ReadAtLeast(socket, in, lineEnd + 2 + length)) {
            return;
        }
        const std::string verb = header.substr(0, blank);
        in.erase(0, lineEnd + 2 + length);
        if (verb == "MD5") {
            // The flash is written: a Continue first, the OK a moment later.
            const std::string progress = Habits.ProgressAfterContinue ? "Progress: 50\r\n" : "";
            if (!Say(socket, "REPLY Continue 1\r\n" + progress) || !Stop.WaitFor(5)) {
                return;
            }
        }
        if (!Say(socket, "REPLY OK\r\n")) {
            return;
        }
    }
}

} // namespace torvane::test
