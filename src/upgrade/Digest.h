#pragma once
// Message digests on libcrypto's EVP interface: MD5 for the packages (the catalogue gives
// their MD5) and SHA-256 for the proof kept beside an unpacked firmware file.

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

// Lower-case hexadecimal, two digits a byte, high digit first.
[[nodiscard]] std::string HexOf(const std::uint8_t* bytes, std::size_t size);
[[nodiscard]] inline std::string HexOf(const std::vector<std::uint8_t>& bytes) {
    return HexOf(bytes.data(), bytes.size());
}

// The SHA-256 (hex) and size of everything that can be read from fd from its current
// position. False when a read fails.
[[nodiscard]] bool Sha256OfFd(int fd, std::string& hex, std::uint64_t& size);

} // namespace torvane
