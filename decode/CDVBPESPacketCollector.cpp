#include "decode/CDVBPESPacketCollector.h"

#include "core/CDVBPIDReceiver.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

CDVBPESPacketCollector::CDVBPESPacketCollector() : m_data(static_cast<BYTE*>(std::malloc(BufferSize)))
{
    Reset();
}

CDVBPESPacketCollector::~CDVBPESPacketCollector()
{
    std::free(m_data);
}

void CDVBPESPacketCollector::Reset()
{
    m_currentSize = 0;
    m_writePosition = m_data;
    m_spaceLeft = BufferSize;
}

void CDVBPESPacketCollector::AddPacket(BYTE* packet)
{
    if (packet[1] & 0x40)
        Reset();
    BYTE* payload = nullptr;
    DWORD length = 0;
    if (!CDVBPIDReceiver::GetPacketPayload(packet, payload, length) || m_spaceLeft == 0)
        return;
    const DWORD n = std::min(length, m_spaceLeft);
    std::memcpy(m_writePosition, payload, n);
    m_writePosition += n;
    m_currentSize += n;
    m_spaceLeft -= n;
}

bool CDVBPESPacketCollector::IsComplete() const
{
    return m_currentSize >= 6 && m_currentSize >= DWORD((m_data[4] << 8) | m_data[5]) + 6;
}

bool CDVBPESPacketCollector::GetInternalData(BYTE*& data, DWORD& size)
{
    data = m_data;
    size = m_currentSize;
    if (size < 9)
        return false;
    const DWORD headerLength = data[8];
    data += 9;
    size -= 9;
    if (size < headerLength)
        return false;
    data += headerLength;
    size -= headerLength;
    return true;
}
