#pragma once
// The proof kept beside an unpacked firmware file. A run reuses a firmware file it finds in
// the temporary folder (a second run of the same firmware downloads nothing) only when the
// proof says the file came from a package whose MD5 equals the one this run's catalogue
// gives, and the file still has the size and SHA-256 it had when it was unpacked. Anything
// else under the firmware's name (a package that failed its check in an older version, a
// file another package carried, a file changed since, a link, a folder) is not proved, so
// the run downloads and checks the package again and replaces it.
//
// The record is a small text file, "." + the firmware's file name + ".proof", in the same
// folder, written to a fresh name and renamed into place:
//
//     package-md5=<32 hex digits>
//     sha256=<64 hex digits>
//     size=<bytes>

#include <cstdint>
#include <string>

namespace torvane {

struct TFirmwareProof {
    std::string PackageMd5; // lower-case hex
    std::string Sha256;     // lower-case hex, of the unpacked file
    std::uint64_t Size = 0;
};

[[nodiscard]] std::string ProofPathOf(const std::string& firmwarePath);

// Writes the record for the file at firmwarePath; false when it cannot be put in place.
[[nodiscard]] bool WriteFirmwareProof(const std::string& firmwarePath, const TFirmwareProof& proof);
// Reads the record (never through a link); false when there is none or it is malformed.
[[nodiscard]] bool ReadFirmwareProof(const std::string& firmwarePath, TFirmwareProof& proof);
// Removes the record, whatever is under its name.
void RemoveFirmwareProof(const std::string& firmwarePath);

// True when the record's package MD5 equals expectedMd5 (compared without regard to case,
// as the package check compares it) and firmwarePath is a regular file (not a link) with
// the recorded size and SHA-256. The file is read once, here.
[[nodiscard]] bool IsProvedFirmware(const std::string& firmwarePath, const std::string& expectedMd5);

} // namespace torvane
