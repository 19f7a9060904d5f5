#pragma once
// Base of everything that consumes the transport packets of one PID. The receiver's
// registry (CDVBTransportStreamReceiver) owns a registered PID receiver and calls it on
// the receive thread; the static operations pick a 188-byte packet apart in place.
#include "platform/GUID.h"
#include "platform/LUMTypes.h"

#include <cstdint>

class CDVBDisplay;
class CDVBProgramClock;
class CLUMDecoderPlugin;

class CDVBPIDReceiver
{
public:
    // Type codes the registry finds receivers by.
    static constexpr int TypePlain = 0;
    static constexpr int TypeSI = 1;
    static constexpr int TypePCR = 2;

    CDVBPIDReceiver() = default;
    CDVBPIDReceiver(const CDVBPIDReceiver&) = default;
    CDVBPIDReceiver& operator=(const CDVBPIDReceiver&) = default;
    virtual ~CDVBPIDReceiver() = default;

    virtual void Start() {}
    virtual void Stop() {}
    // `packetNumber` counts every packet since reception started, whatever its PID;
    // `packet` points at the sync byte and is valid only during the call.
    virtual void OnReceivePacket(std::uint64_t packetNumber, BYTE* packet);
    virtual void SetPID(WORD pid) { m_pid = pid; }
    virtual WORD GetPID() { return m_pid; }
    virtual void OnEverySecond() {}
    virtual void OnEveryMillisecond() {}
    virtual bool RequiresTimeNotifications() { return false; }
    virtual int GetType() { return m_type; }
    virtual CLUMDecoderPlugin* GetPlugin() { return nullptr; }
    virtual void SetCookie(GUID* cookie);
    virtual bool HasCookie(GUID* cookie);
    virtual void SetProgramClock(CDVBProgramClock* clock) { m_programClock = clock; }
    virtual bool RequiresDisplay() { return false; }
    virtual bool SetDisplay(CDVBDisplay*) { return false; }
    virtual bool UnsetDisplay(CDVBDisplay*) { return false; }

    // True when the packet carries at least one payload byte, located by the outputs.
    static bool GetPacketPayload(BYTE* packet, BYTE*& payload, DWORD& length);
    // True when the adaptation field fits the packet; `field` points at its length byte.
    static bool GetPacketAdaptationField(BYTE* packet, BYTE*& field, BYTE& length);
    // 1 = PTS written, 2 = DTS written, 3 = both, 0 = none.
    static DWORD GetTimeStampsFromPESData(BYTE* data, DWORD size, std::int64_t& pts, std::int64_t& dts);
    static DWORD GetTimeStampsFromPacket(BYTE* packet, std::int64_t& pts, std::int64_t& dts);
    // True when the outputs locate the elementary stream bytes the packet carries.
    static bool GetPESInternalData(BYTE* packet, BYTE*& data, DWORD& size);

    WORD m_pid = 0xFFFF;
    int m_type = TypePlain;
    GUID m_cookie;
    CDVBProgramClock* m_programClock = nullptr;   // not owned

protected:
    static void DecodeTimeStamp(const BYTE* coded, std::int64_t& value);
};
