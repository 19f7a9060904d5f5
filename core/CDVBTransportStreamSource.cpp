#include "core/CDVBTransportStreamSource.h"

DWORD CDVBTransportStreamSource::ReadBuffer(BYTE*, DWORD)
{
    return 0;
}

void CDVBTransportStreamSource::NotifyBitrate(int) {}
