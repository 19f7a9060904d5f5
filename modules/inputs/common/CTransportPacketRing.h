#pragma once
// A fixed ring of whole 188-byte packets between a thread that receives them and the
// receive thread that drains them. It never grows and never blocks the reader; when
// nobody reads, the newest packets are dropped and counted.
#include "platform/LUMTypes.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

class CTransportPacketRing
{
public:
    static constexpr std::size_t PacketSize = 188;

    explicit CTransportPacketRing(std::size_t packets) : m_ring(packets * PacketSize) {}

    // `length` is a multiple of PacketSize.
    void Push(const BYTE* packets, std::size_t length);
    // Whole packets, as many as `size` holds and the ring has.
    DWORD Read(BYTE* buffer, DWORD size);
    void Clear();
    std::uint64_t GetDropped() const { return m_dropped; }

private:
    std::mutex m_lock;
    std::vector<BYTE> m_ring;
    std::size_t m_head = 0;
    std::size_t m_count = 0;
    std::atomic<std::uint64_t> m_dropped{0};
};
