#pragma once
// One owner for each kind of libcurl object (easy and multi handles, parsed URLs): freed
// with the library's own function when the owner goes. Used inside platform only.

#include <curl/curl.h>

#include <memory>

namespace torvane::platform {

template <auto Free>
struct TCurlFree {
    template <typename T>
    void operator()(T* handle) const {
        (void)Free(handle);
    }
};

using TCurlEasy = std::unique_ptr<CURL, TCurlFree<&curl_easy_cleanup>>;
using TCurlMulti = std::unique_ptr<CURLM, TCurlFree<&curl_multi_cleanup>>;
using TCurlUrl = std::unique_ptr<CURLU, TCurlFree<&curl_url_cleanup>>;

} // namespace torvane::platform
