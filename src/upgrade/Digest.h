#pragma once
// Message digests on libcrypto's EVP interface: MD5 for the packages (the catalogue gives
// their MD5) and SHA-256 for the proof kept beside an unpacked firmware file.

#include "platform/File.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace torvane {

enum class EDigest { Md5, Sha256 };

class TDigest {
public:
    // Throws std::runtime_error when libcrypto does not offer the algorithm.
    explicit TDigest(EDigest kind);
    ~TDigest();
    TDigest(const TDigest&) = delete;
    TDigest& operator=(const TDigest&) = delete;

    void Update(const void* data, std::size_t size);
    // The digest bytes; the object cannot be updated afterwards.
    [[nodiscard]] std::vector<std::uint8_t> Final();

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

// A digest computed on a thread of its own while the caller goes on with other work (the
// unpacking inflates and writes while the unpacked bytes are hashed). The caller takes a
// buffer, fills it and hands it over; buffers come back for reuse, at most MaxBuffers are
// in flight, so memory stays bounded however large the data.
class TBackgroundDigest {
public:
    static constexpr std::size_t MaxBuffers = 4;

    TBackgroundDigest(EDigest kind, std::size_t bufferBytes);
    ~TBackgroundDigest();
    TBackgroundDigest(const TBackgroundDigest&) = delete;
    TBackgroundDigest& operator=(const TBackgroundDigest&) = delete;

    // A buffer of bufferBytes to fill (waits while all buffers are being hashed).
    [[nodiscard]] std::vector<char> TakeBuffer();
    // Hands the first used bytes of a buffer from TakeBuffer over to be hashed.
    void Hash(std::vector<char> buffer, std::size_t used);
    // Waits until everything handed over is hashed; the digest bytes. Once only.
    [[nodiscard]] std::vector<std::uint8_t> Final();

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

// Lower-case hexadecimal, two digits a byte, high digit first.
[[nodiscard]] std::string HexOf(const std::uint8_t* bytes, std::size_t size);
[[nodiscard]] inline std::string HexOf(const std::vector<std::uint8_t>& bytes) {
    return HexOf(bytes.data(), bytes.size());
}

// The SHA-256 (hex) and size of everything that can be read from file from its current
// position. False when a read fails.
[[nodiscard]] bool Sha256OfFile(platform::TFile& file, std::string& hex, std::uint64_t& size);

} // namespace torvane
