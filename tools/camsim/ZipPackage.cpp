#include "ZipPackage.h"

#include "Error.h"

#include <cstdio>
#include <ctime>
#include <memory>

#include <zip.h>

namespace camsim {

namespace {

struct TSourceFree {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};
using TSourceHolder = std::unique_ptr<zip_source_t, TSourceFree>;

struct TErrorHolder {
    TErrorHolder() { zip_error_init(&Error); }
    ~TErrorHolder() { zip_error_fini(&Error); }
    TErrorHolder(const TErrorHolder&) = delete;
    TErrorHolder& operator=(const TErrorHolder&) = delete;
    zip_error_t Error;
};

// 2024-01-01 12:00:00 UTC
constexpr time_t FixedTimeStamp = 1704110400;

[[noreturn]] void Fail(const std::string& what, zip_error_t* error) {
    throw TRuntimeError("cannot build a ZIP package: " + what + ": " + zip_error_strerror(error));
}

} // namespace

std::string BuildZipPackage(std::string_view entryName, std::string_view content) {
    TErrorHolder error;
    // The archive is written into this in-memory source; it is kept alive past zip_close.
    TSourceHolder archive(zip_source_buffer_create(nullptr, 0, 0, &error.Error));
    if (!archive) {
        Fail("buffer", &error.Error);
    }
    zip_source_keep(archive.get());
    zip_t* zip = zip_open_from_source(archive.get(), ZIP_TRUNCATE, &error.Error);
    if (zip == nullptr) {
        zip_source_free(archive.get()); // drop the reference zip_open_from_source did not take
        Fail("open", &error.Error);
    }
    zip_source_t* entry = zip_source_buffer(zip, content.data(), content.size(), 0);
    const zip_int64_t index =
        entry == nullptr ? -1
                         : zip_file_add(zip, std::string(entryName).c_str(), entry,
                                        ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
        if (entry != nullptr) {
            zip_source_free(entry);
        }
        const std::string why = zip_strerror(zip);
        zip_discard(zip);
        throw TRuntimeError("cannot build a ZIP package: add " + std::string(entryName) + ": " +
                            why);
    }
    const auto entryIndex = static_cast<zip_uint64_t>(index);
    zip_set_file_compression(zip, entryIndex, ZIP_CM_DEFLATE, 0); // 0: zlib's default level
    // A fixed time stamp, so the same firmware gives the same package (and MD5) every run.
    zip_file_set_mtime(zip, entryIndex, FixedTimeStamp, 0);
    if (zip_close(zip) != 0) {
        const std::string why = zip_strerror(zip);
        zip_discard(zip);
        throw TRuntimeError("cannot build a ZIP package: close: " + why);
    }
    if (zip_source_open(archive.get()) != 0) {
        Fail("reopen", zip_source_error(archive.get()));
    }
    zip_source_seek(archive.get(), 0, SEEK_END);
    const zip_int64_t length = zip_source_tell(archive.get());
    zip_source_seek(archive.get(), 0, SEEK_SET);
    std::string bytes(static_cast<std::size_t>(length < 0 ? 0 : length), '\0');
    const zip_int64_t got = zip_source_read(archive.get(), bytes.data(), bytes.size());
    zip_source_close(archive.get());
    if (length < 0 || got != length) {
        throw TRuntimeError("cannot build a ZIP package: reading the archive back failed");
    }
    return bytes;
}

} // namespace camsim
