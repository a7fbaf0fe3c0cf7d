#include "upgrade/FirmwareProof.h"

#include "platform/File.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/Text.h"
#include "upgrade/Digest.h"

namespace torvane {

namespace {

// A record is a few lines; anything longer is not one.
constexpr std::size_t MaxRecordBytes = 512;

bool IsHex(const std::string& text, std::size_t digits) {
    if (text.size() != digits) {
        return false;
    }
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

bool ParseSize(const std::string& text, std::uint64_t& size) {
    if (text.empty() || text.size() > 19) {
        return false;
    }
    size = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        size = size * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

// The whole of a small file, opened without following a link.
bool ReadSmallFile(const std::string& path, std::string& out) {
    out.clear();
    platform::TFile file = platform::TFile::OpenForReading(path, true);
    if (!file.IsOpen()) {
        return false;
    }
    char buf[MaxRecordBytes + 1];
    while (out.size() <= MaxRecordBytes) {
        const platform::TIoResult n = file.Read(buf, sizeof buf);
        if (!n.Ok()) {
            return false;
        }
        if (n.Count == 0) {
            break;
        }
        out.append(buf, n.Count);
    }
    return out.size() <= MaxRecordBytes;
}

} // namespace

std::string ProofPathOf(const std::string& firmwarePath) {
    return platform::FolderOf(firmwarePath) + "." + platform::FileNameOf(firmwarePath) + ".proof";
}

bool WriteFirmwareProof(const std::string& firmwarePath, const TFirmwareProof& proof) {
    const std::string text = "package-md5=" + proof.PackageMd5 + "\nsha256=" + proof.Sha256 +
                             "\nsize=" + std::to_string(proof.Size) + "\n";
    const std::string path = ProofPathOf(firmwarePath);
    // WriteFileAtomic renames over a file or a link; a folder in the way goes first.
    if (platform::WriteFileAtomic(path, text)) {
        return true;
    }
    return platform::RemovePath(path) && platform::WriteFileAtomic(path, text);
}

bool ReadFirmwareProof(const std::string& firmwarePath, TFirmwareProof& proof) {
    std::string text;
    if (!ReadSmallFile(ProofPathOf(firmwarePath), text)) {
        return false;
    }
    TFirmwareProof read;
    bool haveMd5 = false;
    bool haveSha = false;
    bool haveSize = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            return false;
        }
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "package-md5" && !haveMd5 && IsHex(value, 32)) {
            read.PackageMd5 = value;
            haveMd5 = true;
        } else if (key == "sha256" && !haveSha && IsHex(value, 64)) {
            read.Sha256 = value;
            haveSha = true;
        } else if (key == "size" && !haveSize && ParseSize(value, read.Size)) {
            haveSize = true;
        } else {
            return false;
        }
    }
    if (!(haveMd5 && haveSha && haveSize)) {
        return false;
    }
    proof = read;
    return true;
}

void RemoveFirmwareProof(const std::string& firmwarePath) {
    (void)platform::RemovePath(ProofPathOf(firmwarePath));
}

bool IsProvedFirmware(const std::string& firmwarePath, const std::string& expectedMd5) {
    TFirmwareProof proof;
    if (!ReadFirmwareProof(firmwarePath, proof) ||
        proof.PackageMd5 != platform::LowerAscii(expectedMd5)) {
        return false;
    }
    platform::TFile file = platform::TFile::OpenForReading(firmwarePath, true);
    if (!file.IsOpen()) {
        return false;
    }
    const platform::TFileInfo info = file.Info();
    if (info.Error != 0 || !info.Regular || info.Size != proof.Size) {
        return false;
    }
    std::string sha;
    std::uint64_t size = 0;
    return Sha256OfFile(file, sha, size) && size == proof.Size && sha == proof.Sha256;
}

} // namespace torvane
