#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace camsim {

// What a CTP conversation needs from its E camera.
class ICtpCamera {
public:
    virtual ~ICtpCamera() = default;
    // "-login user:password" of a cfgusr request.
    [[nodiscard]] virtual bool CtpAuthorized(const std::string& user,
                                             const std::string& password) const = 0;
    // An accepted "CMD exit": the camera waits for a fresh connection in its upgrade mode.
    virtual void CtpLeaveConfiguration() = 0;
    // A file that arrived whole with a matching digest: empty when the camera takes it,
    // else why not (the reply says so).
    [[nodiscard]] virtual std::string CtpTakeFile(const std::string& name,
                                                  const std::string& data) = 0;
    // A command section's text, decoded.
    virtual void CtpCommand(const std::string& text) = 0;
};

// The key the upgrade tool XORs command texts and file data with: byte i of a payload with
// key[i % 8]. Must be the tool's.
inline constexpr std::uint8_t CtpKey[8] = {0x5A, 0xC3, 0x1E, 0x97, 0x64, 0x2B, 0xF0, 0x8D};

// One CTP connection of an E camera, without the socket: bytes in, answers out.
//
// Configuration mode (the camera's normal mode): requests "CMD <verb> CTP/1.0" CR LF; cfgusr
// carries header lines up to an empty line and a Content-Length body "-login user:pwd";
// exit carries nothing more. Answers are status lines ("200 OK", "401 Unauthorized").
//
// Upgrade mode (a fresh connection after an accepted exit): frames "<VERB> <n>" CR LF and n
// payload bytes; the first must be the probe "CMD 10" / "echo hello". FILE "name size",
// DATA blocks (XORed, key index = position in the whole file), MD5 (16 raw bytes of the
// digest of the XORed data) and CMD (XORed text) follow. Each is answered "REPLY OK",
// "REPLY Error ..."; a digest that checks out is answered "REPLY Continue 1" first and
// "REPLY OK" after a pause (the camera writes its flash).
class TCtpSession {
public:
    enum class EMode { Configuration, Upgrade };

    TCtpSession(EMode mode, ICtpCamera& camera) : FMode(mode), FCamera(camera) {}

    struct TOutput {
        std::string Now;     // to send at once
        std::string Later;   // to send after the flash pause (nothing is read meanwhile)
        bool Close = false;  // close the connection once everything has gone out
    };

    // Takes received bytes; what to answer. After Close, further bytes are ignored.
    [[nodiscard]] TOutput Feed(std::string_view bytes);

    [[nodiscard]] EMode Mode() const { return FMode; }
    // Upgrade mode: the probe came.
    [[nodiscard]] bool Probed() const { return FProbed; }
    [[nodiscard]] int FilesTaken() const { return FFilesTaken; }
    // One line about what went wrong (for the camera's log); empty when nothing did.
    [[nodiscard]] const std::string& Trouble() const { return FTrouble; }

    // Largest frame payload and request body accepted.
    static constexpr std::size_t MaxPayload = 64 * 1024;

private:
    // Each handles one complete message at the start of FInput, or returns false when more
    // bytes are needed.
    bool NextRequest(TOutput& out);
    bool NextFrame(TOutput& out);
    void Frame(const std::string& verb, std::string payload, TOutput& out);
    void Refuse(const std::string& why, TOutput& out, bool close);

    EMode FMode;
    ICtpCamera& FCamera;
    std::string FInput;
    bool FClosed = false;
    bool FLoggedIn = false;
    bool FProbed = false;
    int FFilesTaken = 0;
    std::string FTrouble;
    // The file under way.
    bool FFileOpen = false;
    std::string FFileName;
    std::size_t FFileSize = 0;
    std::string FFileData;  // decoded
    std::string FFileWire;  // as received (XORed), for the digest
};

} // namespace camsim
