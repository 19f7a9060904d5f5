#pragma once
// Takes RTP datagrams carrying a transport stream (version 2, payload type 33) and hands
// their payloads on in sequence order: a datagram that arrives up to ReorderWindow
// datagrams late is put back in its place; once more are waiting, the missing ones are
// given up and counted as lost. Anything else (another payload type, a header longer than
// the datagram, a repeat) is ignored.
#include "platform/LUMTypes.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
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
    Deliver m_deliver;
    bool m_started = false;
    std::uint16_t m_next = 0;
    std::map<std::uint16_t, std::vector<BYTE>> m_held;
    std::atomic<std::uint64_t> m_lost{0};
};
