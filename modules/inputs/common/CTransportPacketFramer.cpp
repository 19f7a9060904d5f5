#include "modules/inputs/common/CTransportPacketFramer.h"

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
    // Five sync bytes in a row at one stride; a shorter file must be whole packets from
    // its first byte, so that one 'G' in a text does not pass.
    for (std::size_t start = 0; start < 192 && start < length; ++start) {
        for (std::size_t size : {std::size_t(188), std::size_t(192)}) {
            const std::size_t sync = start + SyncOffset(size);
            const std::size_t fit = (length - start) / size;
            const int needed = int(std::min<std::size_t>(5, fit));
            if (needed < 5 && (needed < 1 || start != 0 || length % size != 0))
                continue;
            if (Repeats(data, length, sync, size, needed)) {
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

void CTransportPacketFramer::Feed(const BYTE* data, std::size_t length)
{
    m_pending.insert(m_pending.end(), data, data + length);
    Cut(false);
}

void CTransportPacketFramer::FeedDatagram(const BYTE* data, std::size_t length)
{
    m_pending.insert(m_pending.end(), data, data + length);
    Cut(false, true);
}

void CTransportPacketFramer::Flush()
{
    Cut(true);
    m_pending.clear();   // a last packet cut off by the end of the file: not damage to report
}

bool CTransportPacketFramer::SyncAt(std::size_t at) const
{
    return m_pending[at + SyncOffset(m_packetSize)] == kSync;
}

void CTransportPacketFramer::Cut(bool atEnd, bool atDatagramEnd)
{
    const std::size_t size = m_packetSize;
    const std::size_t nextSync = size + SyncOffset(size);   // from a packet's start
    const std::size_t end = m_pending.size();
    std::size_t at = 0;
    while (end - at >= size) {
        bool take = SyncAt(at);
        if (take && end - at <= nextSync) {
            if (!atEnd && !(atDatagramEnd && m_locked && end - at == size))
                break;   // the next packet's sync byte is not here yet to confirm this one
        } else if (take && !SyncAt(at + size)) {
            // Damage after this packet. Found in step, it may be whole with the damage after
            // it, or cut short with the next packet starting inside it: a packet confirmed
            // inside it says which, once its bytes are here. Found while searching, it is
            // nothing but a 0x47 in the noise.
            if (!m_locked) {
                take = false;
            } else if (end - at < 3 * size && !atEnd) {
                break;
            } else {
                for (std::size_t q = at + 1; q < at + size && take; ++q)
                    take = !(q + nextSync < end && SyncAt(q) && SyncAt(q + size));
            }
        }
        if (!take) {
            m_locked = false;
            ++at;   // lost: step on until the sync bytes come back
            ++m_skipped;
            continue;
        }
        const BYTE* packet = m_pending.data() + at + SyncOffset(size);
        m_packets.insert(m_packets.end(), packet, packet + kPacket);
        m_locked = true;
        at += size;
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + std::ptrdiff_t(at));
}

void CTransportPacketFramer::TakePackets(std::vector<BYTE>& packets)
{
    if (packets.empty())
        packets.swap(m_packets);   // no copy: the caller's buffer is reused for the next packets
    else
        packets.insert(packets.end(), m_packets.begin(), m_packets.end());
    m_packets.clear();
}
