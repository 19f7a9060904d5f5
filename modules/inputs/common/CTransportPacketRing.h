#pragma once
// A fixed ring of whole 188-byte packets between a thread that receives or reads them and
// the receive thread that drains them. It never grows. A live source pushes without waiting
// (when nobody reads, the newest packets are dropped and counted); a file's reader waits for
// room instead, and the receive thread may wait for packets on a simulated clock.
#include "platform/LUMTypes.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

class CTransportPacketRing
{
public:
    static constexpr std::size_t PacketSize = 188;

    explicit CTransportPacketRing(std::size_t packets) : m_ring(packets * PacketSize) {}

    // `length` is a multiple of PacketSize. Drops what does not fit.
    void Push(const BYTE* packets, std::size_t length);
    // Waits for room instead; false once closed. A full ring is refilled once half of it
    // has gone: a few wakes a second, not one for every read.
    bool PushWaiting(const BYTE* packets, std::size_t length);
    // Nothing more will come (the end of a file).
    void Finish();
    // Wakes and stops every waiter until Clear.
    void Close();
    // Empty, open and not finished.
    void Clear();

    // Whole packets, as many as `size` holds and the ring has.
    DWORD Read(BYTE* buffer, DWORD size);
    // As Read, but only the first `due(queued, packetAt)` of them, decided under the ring's
    // lock; packetAt(i) is the i-th queued packet.
    template <class Due>
    DWORD ReadDue(BYTE* buffer, DWORD size, Due due);
    // Until `bytes` (at most the ring's size) are queued, or it is finished or closed.
    void WaitFor(std::size_t bytes, std::chrono::nanoseconds timeout);
    bool HasEnded();   // finished and drained
    std::uint64_t GetDropped() const { return m_dropped; }

private:
    std::size_t Take(BYTE* buffer, std::size_t bytes);   // caller holds m_lock

    std::mutex m_lock;
    std::condition_variable m_space;
    std::condition_variable m_filled;
    std::vector<BYTE> m_ring;
    std::size_t m_head = 0;
    std::size_t m_count = 0;
    bool m_finished = false;
    bool m_closed = false;
    int m_readersWaiting = 0;
    std::atomic<std::uint64_t> m_dropped{0};
};

template <class Due>
DWORD CTransportPacketRing::ReadDue(BYTE* buffer, DWORD size, Due due)
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto packetAt = [this](std::size_t i) { return &m_ring[(m_head + i * PacketSize) % m_ring.size()]; };
    const std::size_t queued = std::min<std::size_t>(m_count, size / PacketSize * PacketSize) / PacketSize;
    return DWORD(Take(buffer, std::min<std::size_t>(due(queued, packetAt), queued) * PacketSize));
}
