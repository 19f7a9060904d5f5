#pragma once
// What libLUMNetInputBackend.so offers the LUMNetInput plug-in: one HTTP GET through
// libcurl, looked up by name when the first HTTP stream is opened.
#include <cstddef>

extern "C" {
// Called with each piece of the response body and the response's content type (null
// when the server gave none); returning false ends the transfer.
typedef bool (*LUMNetHttpData)(void* context, const char* contentType, const unsigned char* data, std::size_t length);

// Called at least every 100 ms while the transfer lasts, data or not; returning false ends it.
typedef bool (*LUMNetHttpGoOn)(void* context);

// How a transfer ended.
enum
{
    LUMNetHttpEnded = 0,        // the connection closed, or the data callback ended it
    LUMNetHttpStatusError = 1,  // the server answered an HTTP error: `status`
    LUMNetHttpFailed = 2        // no answer: `error` says why
};

// GETs `url`, redirects followed; the caller decides through `goOn` when a stalled
// connection has waited long enough.
int LUMNetHttpGet(const char* url, LUMNetHttpData onData, LUMNetHttpGoOn goOn, void* context, long* status,
                  char* error, std::size_t errorSize);
}
