#include "upgrade/Digest.h"

#include "platform/Text.h"

#include <openssl/evp.h>

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

namespace torvane {

struct TDigest::TImpl {
    EVP_MD_CTX* Ctx = nullptr;
    ~TImpl() { EVP_MD_CTX_free(Ctx); }
};

TDigest::TDigest(EDigest kind) : FImpl(std::make_unique<TImpl>()) {
    const EVP_MD* md = kind == EDigest::Md5 ? EVP_md5() : EVP_sha256();
    FImpl->Ctx = EVP_MD_CTX_new();
    if (FImpl->Ctx == nullptr || EVP_DigestInit_ex(FImpl->Ctx, md, nullptr) != 1) {
        throw std::runtime_error(kind == EDigest::Md5 ? "MD5 is not available"
                                                      : "SHA-256 is not available");
    }
}

TDigest::~TDigest() = default;

void TDigest::Update(const void* data, std::size_t size) {
    if (size > 0) {
        (void)EVP_DigestUpdate(FImpl->Ctx, data, size);
    }
}

std::vector<std::uint8_t> TDigest::Final() {
    std::vector<std::uint8_t> digest(EVP_MAX_MD_SIZE);
    unsigned int len = 0;
    if (EVP_DigestFinal_ex(FImpl->Ctx, digest.data(), &len) != 1) {
        len = 0;
    }
    digest.resize(len);
    return digest;
}

struct TBackgroundDigest::TImpl {
    explicit TImpl(EDigest kind) : Digest(kind) {}

    TDigest Digest;
    std::size_t BufferBytes = 0;
    std::mutex Lock;
    std::condition_variable Changed;
    std::deque<std::pair<std::vector<char>, std::size_t>> Pending;
    std::vector<std::vector<char>> Spare;
    std::size_t Allocated = 0;
    bool Closing = false;
    bool Busy = false;
    std::thread Worker;

    void Run() {
        std::unique_lock<std::mutex> lk(Lock);
        for (;;) {
            Changed.wait(lk, [this] { return Closing || !Pending.empty(); });
            if (Pending.empty()) {
                return;
            }
            auto [buffer, used] = std::move(Pending.front());
            Pending.pop_front();
            Busy = true;
            lk.unlock();
            Digest.Update(buffer.data(), used);
            lk.lock();
            Busy = false;
            Spare.push_back(std::move(buffer));
            Changed.notify_all();
        }
    }
};

TBackgroundDigest::TBackgroundDigest(EDigest kind, std::size_t bufferBytes)
    : FImpl(std::make_unique<TImpl>(kind)) {
    FImpl->BufferBytes = bufferBytes;
    FImpl->Worker = std::thread([impl = FImpl.get()] { impl->Run(); });
}

TBackgroundDigest::~TBackgroundDigest() {
    {
        std::lock_guard<std::mutex> g(FImpl->Lock);
        FImpl->Closing = true;
    }
    FImpl->Changed.notify_all();
    if (FImpl->Worker.joinable()) {
        FImpl->Worker.join();
    }
}

std::vector<char> TBackgroundDigest::TakeBuffer() {
    std::unique_lock<std::mutex> lk(FImpl->Lock);
    if (FImpl->Spare.empty() && FImpl->Allocated < MaxBuffers) {
        ++FImpl->Allocated;
        lk.unlock();
        return std::vector<char>(FImpl->BufferBytes);
    }
    FImpl->Changed.wait(lk, [this] { return !FImpl->Spare.empty(); });
    std::vector<char> buffer = std::move(FImpl->Spare.back());
    FImpl->Spare.pop_back();
    return buffer;
}

void TBackgroundDigest::Hash(std::vector<char> buffer, std::size_t used) {
    {
        std::lock_guard<std::mutex> g(FImpl->Lock);
        FImpl->Pending.emplace_back(std::move(buffer), used);
    }
    FImpl->Changed.notify_all();
}

std::vector<std::uint8_t> TBackgroundDigest::Final() {
    {
        std::unique_lock<std::mutex> lk(FImpl->Lock);
        FImpl->Changed.wait(lk, [this] { return FImpl->Pending.empty() && !FImpl->Busy; });
    }
    return FImpl->Digest.Final();
}

std::string HexOf(const std::uint8_t* bytes, std::size_t size) {
    return platform::HexText(bytes, size, platform::EHexCase::Lower);
}

bool Sha256OfFile(platform::TFile& file, std::string& hex, std::uint64_t& size) {
    TDigest sha(EDigest::Sha256);
    std::vector<char> buf(1 << 20);
    size = 0;
    for (;;) {
        const platform::TIoResult n = file.Read(buf.data(), buf.size());
        if (!n.Ok()) {
            return false;
        }
        if (n.Count == 0) {
            break;
        }
        sha.Update(buf.data(), n.Count);
        size += n.Count;
    }
    hex = HexOf(sha.Final());
    return true;
}

} // namespace torvane
