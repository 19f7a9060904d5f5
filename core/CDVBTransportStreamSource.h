#pragma once
// Where a receiver gets its bytes. Input plug-ins derive from it; the receiver drives it
// from its receive thread and ignores the results of Initialise, DeInitialise, Start and
// Stop, so the defaults below never stop reception.
#include "platform/CString.h"
#include "platform/LUMTypes.h"

class CDVBTransportStreamSource
{
public:
    static constexpr DWORD DefaultBufferSize = 192512;   // 1024 packets

    virtual ~CDVBTransportStreamSource() = default;
    virtual bool Initialise() { return false; }
    virtual bool DeInitialise() { return false; }
    virtual bool Start() { return false; }
    virtual bool Stop() { return false; }
    // Whole 188-byte packets from byte 0; 0 when nothing is ready. Called about every
    // millisecond on the receive thread, so it must not block.
    virtual DWORD ReadBuffer(BYTE* buffer, DWORD size);
    virtual DWORD GetSuggestedBufferSize() { return DefaultBufferSize; }
    virtual void NotifyBitrate(int bitsPerSecond);
    virtual void OnEverySecond() {}
    virtual void GetStatus(CString& status) { status.Empty(); }
};
