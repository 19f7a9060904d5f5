#pragma once
// Takes RTP datagrams carrying a transport stream (version 2, payload type 33) and hands
// their payloads on in sequence order: a datagram that arrives up to ReorderWindow
// datagrams late is put back in its place; once more are waiting, the missing ones are
// given up and counted as lost. Anything else (another payload type, a header longer than
// the datagram, a repeat) is ignored.
#include "platform/LUMTypes.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class CRtpDepacketiser
{
public:
    static constexpr std::size_t ReorderWindow = 8;
    using Deliver = std::function<void(const BYTE* payload, std::size_t length)>;

    explicit CRtpDepacketiser(Deliver deliver) : m_deliver(std::move(deliver)) {}

    void Push(const BYTE* datagram, std::size_t length);
    // RTP packets that never came; read from any thread.
    std::uint64_t GetLost() const { return m_lost; }

private:
    // A datagram's payload waiting for those before it; the buffers keep their capacity,
    // so that after the first few datagrams nothing is allocated.
    struct Slot
    {
        bool m_used = false;
        std::uint16_t m_sequence = 0;
        std::vector<BYTE> m_payload;
    };
    Slot* Find(std::uint16_t sequence);

    Deliver m_deliver;
    bool m_started = false;
    std::uint16_t m_next = 0;
    std::array<Slot, ReorderWindow + 1> m_slots;
    std::size_t m_held = 0;
    std::atomic<std::uint64_t> m_lost{0};
};
