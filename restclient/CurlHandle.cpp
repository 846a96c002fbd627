#include "restclient/CurlHandle.h"

#include <mutex>
#include <utility>

#include "restclient/NutanixException.h"

namespace afs_rest {

void EnsureCurlGlobalInit() {
    static std::once_flag onceInit;
    static CURLcode initResult = CURLE_OK;
    std::call_once(onceInit, [] { initResult = curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (initResult != CURLE_OK)
        throw NutanixException(std::string("libcurl initialisation failed: ") +
                               curl_easy_strerror(initResult));
}

CCurlEasyHandle::CCurlEasyHandle() {
    EnsureCurlGlobalInit();
    ptrHandle = curl_easy_init();
    if (ptrHandle == nullptr) throw NutanixException("libcurl could not create a handle");
}

CCurlEasyHandle::~CCurlEasyHandle() { Release(); }

CCurlEasyHandle::CCurlEasyHandle(CCurlEasyHandle&& other) noexcept
    : ptrHandle(std::exchange(other.ptrHandle, nullptr)),
      ptrHeaders(std::exchange(other.ptrHeaders, nullptr)) {}

CCurlEasyHandle& CCurlEasyHandle::operator=(CCurlEasyHandle&& other) noexcept {
    if (this != &other) {
        Release();
        ptrHandle = std::exchange(other.ptrHandle, nullptr);
        ptrHeaders = std::exchange(other.ptrHeaders, nullptr);
    }
    return *this;
}

void CCurlEasyHandle::SetHeaders(curl_slist* headers) {
    curl_easy_setopt(ptrHandle, CURLOPT_HTTPHEADER, headers);
    if (ptrHeaders != nullptr) curl_slist_free_all(ptrHeaders);
    ptrHeaders = headers;
}

void CCurlEasyHandle::Release() noexcept {
    // The handle goes first: it still points at the header list.
    if (ptrHandle != nullptr) curl_easy_cleanup(ptrHandle);
    if (ptrHeaders != nullptr) curl_slist_free_all(ptrHeaders);
    ptrHandle = nullptr;
    ptrHeaders = nullptr;
}

}  // namespace afs_rest
