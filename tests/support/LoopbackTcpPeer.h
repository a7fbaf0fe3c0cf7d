#pragma once
// A scripted TCP peer on a loopback address (127.0.0.1 by default, ephemeral port): it
// accepts connections one after another and runs one script per connection, in accept
// order, each on its own thread. Everything a connection receives is recorded, so tests
// can check the bytes on the wire (CTP frames, raw HTTP uploads).
//
//     TLoopbackTcpPeer camera;
//     camera.AddConnection({TTcpStep::ExpectUntil("\r\n\r\n"), TTcpStep::Send("200 OK\r\n"),
//                           TTcpStep::Expect(18), TTcpStep::Send("200 OK\r\n")});
//     ... run the client against camera.Port() ...
//     camera.WaitUntilDone(2000);
//     EXPECT_EQ(camera.Connection(0).Received, "...");
//
// A script that has run to its end without a Close step keeps reading (recording) until
// the client closes or LingerMs pass, then closes. Connections beyond the scripts given run
// the default script (read until the client closes, bounded). Every wait is bounded and
// ends at once when the peer is destroyed. Waits are real time: the sleeper does not
// shorten them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace torvane::test {

struct TTcpStep {
    enum class TKind {
        Expect,      // read exactly Count bytes (within Ms)
        ExpectUntil, // read through the first occurrence of Data (within Ms)
        ExpectClose, // read until the client closes (within Ms)
        Send,        // send Data
        Wait,        // wait Ms
        Close,       // close the connection now (the script ends)
    };
    TKind Kind = TKind::Wait;
    std::size_t Count = 0;
    std::string Data;
    int Ms = 0;

    static TTcpStep Expect(std::size_t count, int timeoutMs = 5000);
    static TTcpStep ExpectUntil(std::string delimiter, int timeoutMs = 5000);
    static TTcpStep ExpectClose(int timeoutMs = 5000);
    static TTcpStep Send(std::string bytes);
    static TTcpStep Wait(int ms);
    static TTcpStep Close();
};

using TTcpScript = std::vector<TTcpStep>;

struct TTcpConnectionRecord {
    std::string Received;              // every byte received, in order
    std::vector<std::string> Expected; // what each Expect / ExpectUntil / ExpectClose step read
    bool ClientClosed = false;         // the client closed (or reset) the connection
    bool ScriptCompleted = false;      // every step ran
    bool Finished = false;             // the connection's thread is done
    std::string Failure;               // why the script stopped early (empty when it did not)
};

class TLoopbackTcpPeer {
public:
    // Listens on address (dotted, in 127.0.0.0/8) at port (0: ephemeral). Throws
    // std::runtime_error when it cannot.
    explicit TLoopbackTcpPeer(const std::string& address = "127.0.0.1", std::uint16_t port = 0);
    TLoopbackTcpPeer(const TLoopbackTcpPeer&) = delete;
    TLoopbackTcpPeer& operator=(const TLoopbackTcpPeer&) = delete;
    ~TLoopbackTcpPeer();

    // The script of the next connection not yet given one (in accept order).
    void AddConnection(TTcpScript script);
    // The script of connections beyond those given (default: ExpectClose(2000)).
    void SetDefaultScript(TTcpScript script);
    // How long a finished script keeps reading before closing (default 2000 ms).
    void SetLingerMs(int ms);

    [[nodiscard]] std::uint16_t Port() const { return FPort; }
    [[nodiscard]] const std::string& Address() const { return FAddress; }

    [[nodiscard]] std::size_t ConnectionCount() const;
    // A copy of the record of connection i (accept order); an empty record when none.
    [[nodiscard]] TTcpConnectionRecord Connection(std::size_t i) const;
    [[nodiscard]] std::vector<TTcpConnectionRecord> Connections() const;
    // Waits (real time) until n connections were accepted.
    bool WaitForConnections(std::size_t n, int timeoutMs) const;
    // Waits (real time) until every accepted connection has finished (at least minCount
    // of them).
    bool WaitUntilDone(int timeoutMs, std::size_t minCount = 1) const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
    std::string FAddress;
    std::uint16_t FPort = 0;
};

} // namespace torvane::test
