#include "modules/inputs/common/CTransportPacketRing.h"

#include <algorithm>
#include <cstring>

void CTransportPacketRing::Push(const BYTE* packets, std::size_t length)
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (std::size_t at = 0; at + PacketSize <= length; at += PacketSize) {
        if (m_count == m_ring.size()) {
            m_dropped += (length - at) / PacketSize;
            return;
        }
        std::memcpy(&m_ring[(m_head + m_count) % m_ring.size()], packets + at, PacketSize);
        m_count += PacketSize;
    }
}

DWORD CTransportPacketRing::Read(BYTE* buffer, DWORD size)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const std::size_t n = std::min<std::size_t>(m_count, size / PacketSize * PacketSize);
    for (std::size_t copied = 0; copied < n;) {
        const std::size_t run = std::min(n - copied, m_ring.size() - m_head);
        std::memcpy(buffer + copied, &m_ring[m_head], run);
        copied += run;
        m_head = (m_head + run) % m_ring.size();
        m_count -= run;
    }
    return DWORD(n);
}

void CTransportPacketRing::Clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_head = m_count = 0;
}
