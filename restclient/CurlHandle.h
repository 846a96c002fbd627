#pragma once

#include <curl/curl.h>

namespace afs_rest {

// Runs curl_global_init exactly once per process, from whichever thread gets
// here first; later callers wait for it. Throws NutanixException when libcurl
// cannot be initialised.
void EnsureCurlGlobalInit();

// Owns one libcurl easy handle and the header list attached to it. Move-only;
// the destructor frees both and never throws.
class CCurlEasyHandle {
public:
    // Throws NutanixException when libcurl cannot make a handle.
    CCurlEasyHandle();
    ~CCurlEasyHandle();
    CCurlEasyHandle(const CCurlEasyHandle&) = delete;
    CCurlEasyHandle& operator=(const CCurlEasyHandle&) = delete;
    CCurlEasyHandle(CCurlEasyHandle&& other) noexcept;
    CCurlEasyHandle& operator=(CCurlEasyHandle&& other) noexcept;

    CURL* Get() const { return ptrHandle; }
    // Takes ownership of `headers`, attaches it as CURLOPT_HTTPHEADER and frees
    // the list held before.
    void SetHeaders(curl_slist* headers);

private:
    void Release() noexcept;
    CURL* ptrHandle = nullptr;
    curl_slist* ptrHeaders = nullptr;
};

}  // namespace afs_rest
