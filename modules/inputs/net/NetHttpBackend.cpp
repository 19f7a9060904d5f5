#include "NetHttpBackend.h"

#include <curl/curl.h>

#include <cstdio>

namespace {

struct Transfer
{
    CURL* curl;
    LUMNetHttpData onData;
    void* context;
};

std::size_t OnData(char* data, std::size_t size, std::size_t count, void* object)
{
    auto* transfer = static_cast<Transfer*>(object);
    char* type = nullptr;
    curl_easy_getinfo(transfer->curl, CURLINFO_CONTENT_TYPE, &type);
    return transfer->onData(transfer->context, type, reinterpret_cast<const unsigned char*>(data), size * count)
               ? size * count
               : 0;   // ends the transfer
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int LUMNetHttpGet(const char* url, LUMNetHttpData onData,
                                                                   LUMNetHttpGoOn goOn, void* context, long* status,
                                                                   char* error, std::size_t errorSize)
{
    CURL* curl = curl_easy_init();
    CURLM* multi = curl_multi_init();
    if (curl == nullptr || multi == nullptr) {
        curl_easy_cleanup(curl);
        curl_multi_cleanup(multi);
        std::snprintf(error, errorSize, "libcurl could not start a transfer");
        return LUMNetHttpFailed;
    }
    Transfer transfer{curl, onData, context};
    curl_easy_setopt(curl, CURLOPT_URL, url);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);   // 404 and the like end the transfer
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 5L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnData);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION,
                     +[](char*, std::size_t size, std::size_t count, void*) { return size * count; });
    curl_multi_add_handle(multi, curl);
    // the transfer driven here, so that the caller is asked every 100 ms whatever comes
    int running = 1;
    bool stopped = false;
    while (running > 0) {
        if (curl_multi_perform(multi, &running) != CURLM_OK)
            break;
        if (running == 0)
            break;
        if (!goOn(context)) {
            stopped = true;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, 100, nullptr);
    }
    CURLcode result = CURLE_OK;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left))
        if (message->msg == CURLMSG_DONE)
            result = message->data.result;
    *status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, status);
    curl_multi_remove_handle(multi, curl);
    curl_easy_cleanup(curl);
    curl_multi_cleanup(multi);
    if (stopped || result == CURLE_OK || result == CURLE_WRITE_ERROR)
        return LUMNetHttpEnded;
    if (result == CURLE_HTTP_RETURNED_ERROR)
        return LUMNetHttpStatusError;
    std::snprintf(error, errorSize, "%s", curl_easy_strerror(result));
    return LUMNetHttpFailed;
}
