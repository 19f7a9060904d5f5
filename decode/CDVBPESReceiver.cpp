#include "decode/CDVBPESReceiver.h"

#include <algorithm>

void CDVBPESReceiver::OnReceivePacket(std::uint64_t, BYTE* packet)
{
    if (packet[1] & 0x40) {
        if (!m_delivered)
            Deliver();   // one that did not say its length, or lost its end: what came of it
        m_delivered = false;
    }
    if (m_delivered)
        return;   // the rest of a packet already handed over, or of one whose start was missed
    m_pes.AddPacket(packet);
    if (m_pes.IsComplete())
        Deliver();
}

void CDVBPESReceiver::Deliver()
{
    m_delivered = true;
    BYTE* data = nullptr;
    DWORD size = 0;
    BYTE* start = m_pes.GetData();
    const DWORD collected = m_pes.GetCurrentSize();
    if (collected < 6 || start[0] != 0 || start[1] != 0 || start[2] != 1 || !m_pes.GetInternalData(data, size)) {
        ++m_refused;
        return;
    }
    const DWORD length = DWORD(start[4]) << 8 | start[5];
    if (length != 0)   // the bytes past its end are the next packet's stuffing, if anything
        size = std::min<DWORD>(size, DWORD(start + 6 + length > data ? start + 6 + length - data : 0));
    std::int64_t pts = -1, dts = -1;
    if (!(GetTimeStampsFromPESData(start, collected, pts, dts) & 1))
        pts = -1;
    if (!OnPESPacket(data, size, pts))
        ++m_refused;
}
