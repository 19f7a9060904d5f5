#pragma once
// Reassembles one PES packet at a time from the transport packets of one PID, into a
// buffer large enough for the largest: it starts over at each packet that begins a PES
// packet. It owns its buffer, so it cannot be copied.
#include "platform/LUMTypes.h"

class CDVBPESPacketCollector
{
public:
    static constexpr DWORD BufferSize = 0x10006;   // a 6-byte header start and 65536 bytes

    CDVBPESPacketCollector();
    virtual ~CDVBPESPacketCollector();
    CDVBPESPacketCollector(const CDVBPESPacketCollector&) = delete;
    CDVBPESPacketCollector& operator=(const CDVBPESPacketCollector&) = delete;

    void Reset();
    // A 188-byte transport packet; payload past the buffer's end is dropped.
    void AddPacket(BYTE* packet);
    // At least the header and PES_packet_length bytes after it (0: as soon as the header is in).
    bool IsComplete() const;
    // The elementary stream bytes: past the optional header, to the end of what was
    // collected. False when the header is not all there.
    bool GetInternalData(BYTE*& data, DWORD& size);
    BYTE* GetData() { return m_data; }
    DWORD GetCurrentSize() const { return m_currentSize; }

private:
    BYTE* m_data;
    BYTE* m_writePosition;
    DWORD m_currentSize = 0;
    DWORD m_spaceLeft = 0;
};
