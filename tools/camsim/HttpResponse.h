#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace camsim {

// One reply. Every reply carries Content-Length and "Connection: close": camsim closes the
// connection after each reply, which every client of a camera copes with.
struct THttpResponse {
    int Status = 200;
    std::vector<std::pair<std::string, std::string>> Headers;
    std::string Body;
    bool HeadOnly = false; // a HEAD request: headers with the body's length, no body
    // Runs once the reply has gone out completely (a camera reboots after its upload reply).
    std::function<void()> AfterSent;
    // When set: only the status line and the start of a header line go out, then one more
    // byte every TrickleEvery, for as long as the client stays (at most TrickleLimit): a
    // reply that keeps coming and never ends. AfterSent never runs.
    std::chrono::milliseconds TrickleEvery{0};
    static constexpr std::chrono::minutes TrickleLimit{10};

    [[nodiscard]] std::string Serialize() const;
    // What a trickling reply sends first.
    [[nodiscard]] std::string TrickleStart() const;

    [[nodiscard]] static THttpResponse Text(int status, std::string contentType, std::string body);
    // A small HTML page; `message` is also its title.
    [[nodiscard]] static THttpResponse Page(int status, const std::string& message);
};

[[nodiscard]] const char* ReasonPhrase(int status);

} // namespace camsim
