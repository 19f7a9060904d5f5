#include "inputs/file/CTransportPacketFramer.h"

namespace {

constexpr BYTE kSync = 0x47;
constexpr std::size_t kPacket = 188;

// Where the sync byte sits within a packet of this size on disk.
std::size_t SyncOffset(std::size_t packetSize)
{
    return packetSize - kPacket;
}

bool Repeats(const BYTE* data, std::size_t length, std::size_t first, std::size_t stride, int count)
{
    for (int i = 0; i < count; ++i) {
        const std::size_t at = first + std::size_t(i) * stride;
        if (at >= length || data[at] != kSync)
            return false;
    }
    return true;
}

}  // namespace

std::size_t CTransportPacketFramer::DetectPacketSize(const BYTE* data, std::size_t length, std::size_t& offset)
{
    // Five sync bytes in a row at one stride; a short file needs as many as it holds.
    for (std::size_t start = 0; start < 192 && start < length; ++start) {
        for (std::size_t size : {std::size_t(188), std::size_t(192)}) {
            const std::size_t sync = start + SyncOffset(size);
            const int needed = int(std::min<std::size_t>(5, (length - start) / size));
            if (needed >= 1 && Repeats(data, length, sync, size, needed)) {
                offset = start;
                return size;
            }
        }
    }
    return 0;
}

void CTransportPacketFramer::Reset()
{
    m_pending.clear();
    m_packets.clear();
    m_locked = false;
}

bool CTransportPacketFramer::InSync(std::size_t at) const
{
    const std::size_t sync = at + SyncOffset(m_packetSize);
    if (m_pending[sync] != kSync)
        return false;
    if (m_locked)
        return true;
    // Finding the sync again: a 0x47 inside a payload is common, so the next packet's
    // sync byte must follow too, when its bytes are there already.
    const std::size_t next = sync + m_packetSize;
    return next >= m_pending.size() || m_pending[next] == kSync;
}

void CTransportPacketFramer::Feed(const BYTE* data, std::size_t length)
{
    m_pending.insert(m_pending.end(), data, data + length);
    std::size_t at = 0;
    while (m_pending.size() - at >= m_packetSize) {
        if (!InSync(at)) {
            m_locked = false;
            ++at;   // lost: step on until the sync byte comes back
            ++m_skipped;
            continue;
        }
        m_locked = true;
        const BYTE* packet = m_pending.data() + at + SyncOffset(m_packetSize);
        m_packets.insert(m_packets.end(), packet, packet + kPacket);
        at += m_packetSize;
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + std::ptrdiff_t(at));
}

void CTransportPacketFramer::TakePackets(std::vector<BYTE>& packets)
{
    packets.insert(packets.end(), m_packets.begin(), m_packets.end());
    m_packets.clear();
}
