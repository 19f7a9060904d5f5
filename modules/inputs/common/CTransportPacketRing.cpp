#include "modules/inputs/common/CTransportPacketRing.h"

void CTransportPacketRing::Push(const BYTE* packets, std::size_t length)
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (std::size_t at = 0; at + PacketSize <= length; at += PacketSize) {
        if (m_count == m_ring.size()) {
            m_dropped += (length - at) / PacketSize;
            break;
        }
        std::memcpy(&m_ring[(m_head + m_count) % m_ring.size()], packets + at, PacketSize);
        m_count += PacketSize;
    }
    if (m_readersWaiting > 0)   // seldom: a live source's reader does not wait
        m_filled.notify_all();
}

bool CTransportPacketRing::PushWaiting(const BYTE* packets, std::size_t length)
{
    for (std::size_t at = 0; at < length;) {
        std::unique_lock<std::mutex> guard(m_lock);
        if (m_count == m_ring.size())
            m_space.wait(guard, [this] { return m_closed || m_count <= m_ring.size() / 2; });
        if (m_closed)
            return false;
        const std::size_t take = std::min(length - at, m_ring.size() - m_count);
        for (std::size_t copied = 0; copied < take;) {
            const std::size_t tail = (m_head + m_count) % m_ring.size();
            const std::size_t run = std::min(take - copied, m_ring.size() - tail);
            std::memcpy(&m_ring[tail], packets + at + copied, run);
            copied += run;
            m_count += run;
        }
        at += take;
        m_filled.notify_all();
    }
    return true;
}

void CTransportPacketRing::Finish()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_finished = true;
    m_filled.notify_all();
}

void CTransportPacketRing::Close()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_closed = true;
    m_space.notify_all();
    m_filled.notify_all();
}

void CTransportPacketRing::Clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_head = m_count = 0;
    m_finished = m_closed = false;
}

DWORD CTransportPacketRing::Read(BYTE* buffer, DWORD size)
{
    std::lock_guard<std::mutex> guard(m_lock);
    return DWORD(Take(buffer, std::min<std::size_t>(m_count, size / PacketSize * PacketSize)));
}

std::size_t CTransportPacketRing::Take(BYTE* buffer, std::size_t bytes)
{
    const bool wasOverHalf = m_count > m_ring.size() / 2;
    for (std::size_t copied = 0; copied < bytes;) {
        const std::size_t run = std::min(bytes - copied, m_ring.size() - m_head);
        std::memcpy(buffer + copied, &m_ring[m_head], run);
        copied += run;
        m_head = (m_head + run) % m_ring.size();
        m_count -= run;
    }
    if (wasOverHalf && m_count <= m_ring.size() / 2)
        m_space.notify_one();
    return bytes;
}

void CTransportPacketRing::WaitFor(std::size_t bytes, std::chrono::nanoseconds timeout)
{
    std::unique_lock<std::mutex> guard(m_lock);
    bytes = std::min(bytes, m_ring.size());
    ++m_readersWaiting;
    m_filled.wait_for(guard, timeout, [&] { return m_count >= bytes || m_finished || m_closed; });
    --m_readersWaiting;
}

bool CTransportPacketRing::HasEnded()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_finished && m_count == 0;
}
