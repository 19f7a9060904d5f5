#pragma once
// Cuts whole 188-byte transport packets out of a file's bytes, which may be 188-byte
// packets or 192-byte M2TS packets (a 4-byte time code before each) and may be damaged:
// it finds the sync byte at the start and again after any stretch that lost it. A packet
// waits for the next packet's sync byte to confirm it; a packet cut short (the next one
// starts inside it) is dropped rather than glued to the next, a whole packet followed by
// damage is kept, and what comes out does not depend on how the bytes are split.
#include "platform/LUMTypes.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class CTransportPacketFramer
{
public:
    // 188 or 192 when `data` holds packets of that size from `offset` on, else 0.
    static std::size_t DetectPacketSize(const BYTE* data, std::size_t length, std::size_t& offset);

    explicit CTransportPacketFramer(std::size_t packetSize) : m_packetSize(packetSize) {}

    // Appends the next bytes of the file; whole packets come out of TakePackets.
    void Feed(const BYTE* data, std::size_t length);
    // The same for one datagram: its end confirms a packet in step that ends with it, since
    // the last packet a sender sends has no next one.
    void FeedDatagram(const BYTE* data, std::size_t length);
    // The file has ended: its last packet has no next one to confirm it.
    void Flush();
    // Moves out the whole packets found so far, 188 bytes each.
    void TakePackets(std::vector<BYTE>& packets);
    // Bytes skipped to find the sync byte again.
    std::uint64_t GetSkippedBytes() const { return m_skipped; }
    void Reset();

private:
    // Cuts what can be cut; at the end of the file nothing more will confirm a packet.
    void Cut(bool atEnd, bool atDatagramEnd = false);
    bool SyncAt(std::size_t at) const;

    std::size_t m_packetSize;
    std::vector<BYTE> m_pending;   // bytes not yet cut into packets
    std::vector<BYTE> m_packets;
    std::uint64_t m_skipped = 0;
    bool m_locked = false;   // the last packet taken was in step
};
