#include "modules/inputs/common/CPacketRingSource.h"

#include "modules/inputs/common/CTransportPacketFramer.h"

CPacketRingSource::CPacketRingSource()
    : m_framer(std::make_unique<CTransportPacketFramer>(CTransportPacketRing::PacketSize)), m_ring(RingPackets)
{
}

CPacketRingSource::~CPacketRingSource() = default;

bool CPacketRingSource::Start()
{
    m_ring.Clear();
    return true;
}

DWORD CPacketRingSource::ReadBuffer(BYTE* buffer, DWORD size)
{
    return m_ring.Read(buffer, size);
}

void CPacketRingSource::Feed(const BYTE* data, std::size_t length, bool datagram)
{
    if (datagram)
        m_framer->FeedDatagram(data, length);
    else
        m_framer->Feed(data, length);
    m_framer->TakePackets(m_packets);
    m_skippedBytes = m_framer->GetSkippedBytes();
    if (!m_packets.empty()) {
        NoteAlive();
        m_recovering = false;
    }
    m_ring.Push(m_packets.data(), m_packets.size());
    m_packets.clear();
}

void CPacketRingSource::WatchSilence()
{
    using namespace std::chrono;
    const auto now = steady_clock::now();
    if (m_lastPacket == steady_clock::time_point{})
        m_lastPacket = now;
    if (now - m_lastPacket < LossAfter)
        return;
    if (!m_recovering) {
        m_recovering = true;
        ++m_losses;
        m_nextReopen = now;
        m_backOff = milliseconds(1000);
    }
    if (now < m_nextReopen)
        return;
    if (Reopen())
        ++m_reopenings;
    m_nextReopen = now + m_backOff;
    m_backOff = std::min(m_backOff * 2, LongestBackOff);
}

void CPacketRingSource::AppendRingStatus(CString& status)
{
    if (m_skippedBytes > 0)
        status.AppendFormat(", %llu bytes skipped to resync", static_cast<unsigned long long>(m_skippedBytes));
    if (m_ring.GetDropped() > 0)
        status.AppendFormat(", %llu packets not read in time", static_cast<unsigned long long>(m_ring.GetDropped()));
    if (m_losses > 0)
        status.AppendFormat(", reception lost %llu time%s", static_cast<unsigned long long>(m_losses), m_losses == 1 ? "" : "s");
    if (m_reopenings > 0)
        status.AppendFormat(", reopened %llu time%s", static_cast<unsigned long long>(m_reopenings), m_reopenings == 1 ? "" : "s");
}

bool CPacketRingSource::Fail(int failure, const std::string& text)
{
    m_failure = failure;
    m_failureText = text;
    return false;
}
