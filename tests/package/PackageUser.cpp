// Compiles against the installed headers and links the installed library.
#include "core/CDVBTiming.h"
#include "receiver/CDVBTransportStreamReceiver.h"
#include "core/CDVBTransportStreamSource.h"

#include <cstdio>

int main()
{
    CDVBTransportStreamSource source;
    CDVBTransportStreamReceiver receiver(&source, nullptr);
    CString text;
    ClockToString(8589934591LL, text);
    std::printf("installed LUMCore works: %s, %llu packets\n", static_cast<const char*>(text),
                static_cast<unsigned long long>(receiver.GetPacketsReceived()));
    return text == "001:02:30:43.717" ? 0 : 1;
}
