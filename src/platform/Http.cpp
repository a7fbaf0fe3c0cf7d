#include "platform/Http.h"

#include "platform/CurlHandle.h"
#include "platform/File.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/Sleeper.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <unistd.h>
#include <utility>

// Both transfers run on a private multi handle so that the loop wakes at least every
// PollSliceMs: the overall deadline and the rate rule then hold to the millisecond, where
// curl_easy_perform would see them only about once a second while no data moves. The
// limits are checked in the progress callback and, as a backstop, in the loop itself.

namespace torvane::platform {

namespace {

constexpr int PollSliceMs = 20;
constexpr long DownloadBufferBytes = 100L * 1024;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// An easy handle attached to a multi handle for the owner's lifetime.
class TMultiAttachment {
public:
    TMultiAttachment(CURLM* multi, CURL* easy)
        : FMulti(multi), FEasy(easy), FAttached(curl_multi_add_handle(multi, easy) == CURLM_OK) {}
    TMultiAttachment(const TMultiAttachment&) = delete;
    TMultiAttachment& operator=(const TMultiAttachment&) = delete;
    ~TMultiAttachment() {
        if (FAttached) {
            curl_multi_remove_handle(FMulti, FEasy);
        }
    }
    [[nodiscard]] bool Attached() const { return FAttached; }

private:
    CURLM* FMulti;
    CURL* FEasy;
    bool FAttached;
};

class TCurlHeaderList {
public:
    TCurlHeaderList() = default;
    TCurlHeaderList(const TCurlHeaderList&) = delete;
    TCurlHeaderList& operator=(const TCurlHeaderList&) = delete;
    TCurlHeaderList(TCurlHeaderList&& other) noexcept
        : FList(std::exchange(other.FList, nullptr)) {}
    TCurlHeaderList& operator=(TCurlHeaderList&& other) noexcept {
        std::swap(FList, other.FList);
        return *this;
    }
    ~TCurlHeaderList() { curl_slist_free_all(FList); }
    bool Append(const std::string& line) {
        curl_slist* next = curl_slist_append(FList, line.c_str());
        if (next == nullptr) {
            return false;
        }
        FList = next;
        return true;
    }
    [[nodiscard]] curl_slist* Get() const { return FList; }

private:
    curl_slist* FList = nullptr;
};

// What one transfer observed, shared with the callbacks, and the limits that end it.
struct TTransfer {
    using TClock = std::chrono::steady_clock;

    CURL* Easy = nullptr;
    TClock::time_point Start = TClock::now();
    // The whole exchange, from the start (0: none).
    int OverallMs = 0;
    // The rate rule (0: none): fewer than MinWindowBytes over the last RateWindowMs.
    int RateWindowMs = 0;
    std::uint64_t MinWindowBytes = 0;
    // The most a successful reply may declare (0: any).
    std::uint64_t MaxDeclaredBytes = 0;

    bool TimedOut = false;
    bool TooSlow = false;
    bool TooLarge = false;

    std::uint64_t TrafficBytes = 0;
    // Samples of (time, TrafficBytes) since the connection was made, for the rate rule.
    std::deque<std::pair<TClock::time_point, std::uint64_t>> Samples;

    // The current response: its status line, its code, its declared length, whether its
    // header block ended.
    std::string StatusLine;
    long Status = 0;
    long long DeclaredLength = -1;
    bool HeadersDone = false;

    void Traffic(std::size_t n) { TrafficBytes += n; }

    [[nodiscard]] bool Connected() const {
        curl_off_t pretransfer = 0;
        long requestSize = 0;
        curl_easy_getinfo(Easy, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
        curl_easy_getinfo(Easy, CURLINFO_REQUEST_SIZE, &requestSize);
        return TrafficBytes > 0 || pretransfer > 0 || requestSize > 0;
    }

    // True when the transfer is to be stopped: its time is up or it moves too slowly.
    bool CheckLimits() {
        if (TimedOut || TooSlow || TooLarge) {
            return true;
        }
        const auto now = TClock::now();
        if (OverallMs > 0 && now - Start >= std::chrono::milliseconds(OverallMs)) {
            TimedOut = true;
            return true;
        }
        if (RateWindowMs <= 0) {
            return false;
        }
        if (Samples.empty()) {
            if (Connected()) {
                Samples.emplace_back(now, TrafficBytes);
            }
            return false;
        }
        // About 64 samples a window: enough to place its start, few enough to keep.
        const auto window = std::chrono::milliseconds(RateWindowMs);
        const auto granule = std::max<std::chrono::milliseconds>(
            std::chrono::milliseconds(1), std::chrono::milliseconds(RateWindowMs / 64));
        if (now - Samples.back().first >= granule) {
            Samples.emplace_back(now, TrafficBytes);
        }
        const auto windowStart = now - window;
        while (Samples.size() >= 2 && Samples[1].first <= windowStart) {
            Samples.pop_front();
        }
        if (Samples.front().first <= windowStart &&
            TrafficBytes - Samples.front().second < MinWindowBytes) {
            TooSlow = true;
        }
        return TooSlow;
    }

    [[nodiscard]] bool Success() const { return Status >= 200 && Status <= 299; }
    [[nodiscard]] bool Redirect() const { return Status >= 300 && Status <= 399; }
};

long StatusOfLine(const std::string& line) {
    // "HTTP/1.1 404 Not Found", "HTTP/2 200"
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) {
        return 0;
    }
    long code = 0;
    std::size_t i = blank + 1;
    int digits = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9' && digits < 3) {
        code = code * 10 + (line[i] - '0');
        ++i;
        ++digits;
    }
    return digits == 3 ? code : 0;
}

// The value of a "Content-Length:" header line (ASCII case ignored), -1 for other lines.
long long ContentLengthOfLine(const std::string& line) {
    static constexpr char Name[] = "content-length:";
    constexpr std::size_t NameSize = sizeof Name - 1;
    if (line.size() <= NameSize) {
        return -1;
    }
    for (std::size_t i = 0; i < NameSize; ++i) {
        const char c = line[i];
        if (((c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c) != Name[i]) {
            return -1;
        }
    }
    std::size_t i = NameSize;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
        ++i;
    }
    long long value = 0;
    bool digits = false;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
        if (value > (std::numeric_limits<long long>::max() - 9) / 10) {
            return std::numeric_limits<long long>::max();
        }
        value = value * 10 + (line[i] - '0');
        digits = true;
    }
    return digits ? value : -1;
}

std::size_t HeaderCallback(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<TTransfer*>(user);
    const std::size_t total = size * count;
    t->Traffic(total);
    std::string line(data, total);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    if (line.compare(0, 5, "HTTP/") == 0) {
        // A new response begins: an interim 1xx, a redirect that is followed, the final one.
        t->StatusLine = line;
        t->Status = StatusOfLine(line);
        t->DeclaredLength = -1;
        t->HeadersDone = false;
    } else if (line.empty() && t->Status >= 200) {
        t->HeadersDone = true;
        if (t->MaxDeclaredBytes > 0 && t->Success() && t->DeclaredLength >= 0 &&
            static_cast<std::uint64_t>(t->DeclaredLength) > t->MaxDeclaredBytes) {
            t->TooLarge = true;
            return 0; // stop before the body comes
        }
    } else {
        const long long length = ContentLengthOfLine(line);
        if (length >= 0) {
            t->DeclaredLength = length;
        }
    }
    return total;
}

int ProgressCallback(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<TTransfer*>(user)->CheckLimits() ? 1 : 0;
}

// Runs the transfer to its end. A stop by one of the limits gives CURLE_ABORTED_BY_CALLBACK
// with its flag set in t.
CURLcode RunTransfer(CURL* easy, TTransfer& t) {
    const TCurlMulti multi(curl_multi_init());
    if (multi.get() == nullptr) {
        return CURLE_OUT_OF_MEMORY;
    }
    TMultiAttachment attachment(multi.get(), easy);
    if (!attachment.Attached()) {
        return CURLE_FAILED_INIT;
    }
    int running = 1;
    for (;;) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            return CURLE_FAILED_INIT;
        }
        if (running == 0) {
            break;
        }
        if (t.CheckLimits()) {
            return CURLE_ABORTED_BY_CALLBACK;
        }
        if (curl_multi_poll(multi.get(), nullptr, 0, PollSliceMs, nullptr) != CURLM_OK) {
            return CURLE_FAILED_INIT;
        }
    }
    CURLcode result = CURLE_OK;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi.get(), &left)) {
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) {
            result = msg->data.result;
        }
    }
    return result;
}

// The settings both transfers share.
void SetCommonOptions(CURL* easy, const std::string& url, const std::string& userAgent,
                      int connectTimeoutMs, TTransfer& t, char* errorBuffer) {
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    if (!userAgent.empty()) {
        curl_easy_setopt(easy, CURLOPT_USERAGENT, userAgent.c_str());
    }
    if (connectTimeoutMs > 0) {
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(TimeoutMs(connectTimeoutMs)));
    }
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &HeaderCallback);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &ProgressCallback);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &t);
}

std::string CurlErrorText(CURLcode rc, const char* errorBuffer) {
    if (errorBuffer != nullptr && errorBuffer[0] != '\0') {
        std::string text(errorBuffer);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        return text;
    }
    return curl_easy_strerror(rc);
}

// ----- fetch -----------------------------------------------------------------------------

struct TFetch {
    TTransfer* Transfer = nullptr;
    std::string* Body = nullptr;
    std::size_t MaxBytes = 0;
    bool Cut = false;
};

std::size_t FetchWrite(char* data, std::size_t size, std::size_t count, void* user) {
    auto* f = static_cast<TFetch*>(user);
    const std::size_t total = size * count;
    f->Transfer->Traffic(total);
    const std::size_t room = f->MaxBytes - std::min(f->MaxBytes, f->Body->size());
    const std::size_t take = std::min(room, total);
    f->Body->append(data, take);
    if (f->Body->size() >= f->MaxBytes) {
        f->Cut = true;
        return 0; // enough: stop the transfer (CURLE_WRITE_ERROR)
    }
    return total;
}

// ----- download --------------------------------------------------------------------------

struct TDownload {
    TTransfer* Transfer = nullptr;
    TFile* File = nullptr;
    std::uint64_t MaxBytes = 0;
    std::uint64_t Written = 0;
    int WriteErrno = 0;
    bool StatusRefused = false;
    const std::function<void(std::uint64_t, std::uint64_t)>* Progress = nullptr;
};

std::size_t DownloadWrite(char* data, std::size_t size, std::size_t count, void* user) {
    auto* d = static_cast<TDownload*>(user);
    const std::size_t total = size * count;
    d->Transfer->Traffic(total);
    if (d->Transfer->Redirect()) {
        return total; // the body of a redirect that is followed: not part of the file
    }
    if (!d->Transfer->Success()) {
        d->StatusRefused = true;
        return 0; // an error page never goes into the file
    }
    if (d->MaxBytes > 0 && d->Written + total > d->MaxBytes) {
        d->Transfer->TooLarge = true;
        return 0;
    }
    const TIoResult written = d->File->WriteAll(data, total);
    if (!written.Ok()) {
        d->WriteErrno = written.Error;
        return 0;
    }
    d->Written += total;
    if (d->Progress != nullptr && *d->Progress) {
        (*d->Progress)(d->Written, ProgressTotal(d->Transfer->DeclaredLength, d->Written));
    }
    return total;
}

// Removes the fresh file of a download unless it was put in place.
class TFreshFileGuard {
public:
    explicit TFreshFileGuard(std::string path) : FPath(std::move(path)) {}
    TFreshFileGuard(const TFreshFileGuard&) = delete;
    TFreshFileGuard& operator=(const TFreshFileGuard&) = delete;
    ~TFreshFileGuard() {
        if (!FPath.empty()) {
            (void)RemoveFile(FPath);
        }
    }
    void Keep() { FPath.clear(); }

private:
    std::string FPath;
};

std::string MsText(int ms) {
    return std::to_string(ms) + " ms";
}

} // namespace

THttpFetchResult HttpFetch(const std::string& url, const std::vector<std::string>& headers,
                           const std::string& userAgent, int timeoutMs, std::size_t maxBodyBytes) {
    GlobalInit();
    THttpFetchResult result;
    TCurlHeaderList headerList;
    for (const std::string& h : headers) {
        headerList.Append(h);
    }
    headerList.Append("Cache-Control: no-cache");
    headerList.Append("Pragma: no-cache");

    const TCurlEasy easy(curl_easy_init());
    if (easy.get() == nullptr) {
        result.Error = "the HTTP client could not be initialised";
        return result;
    }
    char errorBuffer[CURL_ERROR_SIZE] = {};
    TTransfer t;
    t.Easy = easy.get();
    t.OverallMs = timeoutMs > 0 ? TimeoutMs(timeoutMs) : 0;
    TFetch fetch{&t, &result.Body, maxBodyBytes, false};

    SetCommonOptions(easy.get(), url, userAgent, timeoutMs, t, errorBuffer);
    curl_easy_setopt(easy.get(), CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, headerList.Get());
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &FetchWrite);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &fetch);

    const CURLcode rc = RunTransfer(easy.get(), t);

    result.StatusLine = t.StatusLine;
    result.Status = t.Status;
    result.TimedOut = t.TimedOut;
    if (rc == CURLE_OK || fetch.Cut) {
        result.Answered = true;
    } else if (t.TimedOut) {
        // Out of time, however much had come: a reply that never ends is no answer.
        result.Answered = false;
    } else {
        // The connection broke after the headers: the body so far is the answer.
        result.Answered = t.HeadersDone;
    }
    if (!result.Answered) {
        result.Body.clear();
        result.Error = t.TimedOut ? "Timed out: the reply did not end within " + MsText(t.OverallMs)
                                  : CurlErrorText(rc, errorBuffer);
    }
    return result;
}

THttpDownloadResult HttpDownloadToFile(const std::string& url, const std::string& path,
                                       const std::string& userAgent,
                                       const THttpDownloadLimits& limits) {
    GlobalInit();
    THttpDownloadResult result;
    auto fail = [&result](EDownloadFailure failure, std::string text) {
        result.Ok = false;
        result.Failure = failure;
        result.ErrorText = std::move(text);
        return result;
    };
    TFile file = TFile::CreateFreshBeside(path, ".download");
    if (!file.IsOpen()) {
        return fail(EDownloadFailure::File, ErrorText(file.OpenError()));
    }
    const std::string freshPath = file.FreshPath();
    TFreshFileGuard guard(freshPath);
    const TCurlEasy easy(curl_easy_init());
    if (easy.get() == nullptr) {
        return fail(EDownloadFailure::Transfer, "the HTTP client could not be initialised");
    }
    char errorBuffer[CURL_ERROR_SIZE] = {};
    TTransfer t;
    t.Easy = easy.get();
    t.OverallMs = limits.OverallTimeoutMs > 0 ? TimeoutMs(limits.OverallTimeoutMs) : 0;
    t.RateWindowMs = limits.RateWindowMs > 0 ? TimeoutMs(limits.RateWindowMs) : 0;
    t.MinWindowBytes = limits.MinWindowBytes;
    t.MaxDeclaredBytes = limits.MaxBytes;
    TDownload download{&t, &file, limits.MaxBytes, 0, 0, false, &limits.Progress};

    SetCommonOptions(easy.get(), url, userAgent, limits.ConnectTimeoutMs, t, errorBuffer);
    curl_easy_setopt(easy.get(), CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy.get(), CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // The receive buffer the curl tool uses (libcurl's default is 16 KiB): a fast server's
    // package then takes far fewer reads.
    curl_easy_setopt(easy.get(), CURLOPT_BUFFERSIZE, DownloadBufferBytes);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &DownloadWrite);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &download);

    const CURLcode rc = RunTransfer(easy.get(), t);

    if (rc == CURLE_OK && t.Success()) {
        result.Ok = true;
    } else if (t.TooLarge) {
        fail(EDownloadFailure::TooLarge,
             "The file is larger than " + std::to_string(limits.MaxBytes) + " bytes");
    } else if (t.TimedOut) {
        fail(EDownloadFailure::TimedOut, "Timed out: the download did not end within " +
                                             MsText(t.OverallMs));
    } else if (t.TooSlow) {
        fail(EDownloadFailure::TooSlow, "Download too slow: fewer than " +
                                            std::to_string(t.MinWindowBytes) + " bytes in " +
                                            MsText(t.RateWindowMs));
    } else if (download.WriteErrno != 0) {
        fail(EDownloadFailure::File, std::strerror(download.WriteErrno));
    } else if (!t.StatusLine.empty() && !t.Success() &&
               (download.StatusRefused || rc == CURLE_OK)) {
        fail(EDownloadFailure::Status, t.StatusLine);
    } else {
        fail(EDownloadFailure::Transfer, CurlErrorText(rc, errorBuffer));
    }
    // A failed download leaves an empty file.
    if (!result.Ok) {
        if (const int error = file.Truncate(); error != 0) {
            result.ErrorText += "; " + ErrorText(error);
        }
    }
    if (const int error = file.Close(); error != 0 && result.Ok) {
        fail(EDownloadFailure::File, ErrorText(error));
        if (::truncate(freshPath.c_str(), 0) != 0) {
            result.ErrorText += "; " + std::string(std::strerror(errno));
        }
    }
    // The fresh file takes the name; a link there is replaced, never followed.
    if (!RenameFile(freshPath, path)) {
        const std::string why = std::strerror(errno);
        if (result.Ok) {
            return fail(EDownloadFailure::File, why);
        }
        result.ErrorText += "; " + why;
        return result;
    }
    guard.Keep();
    return result;
}

} // namespace torvane::platform
