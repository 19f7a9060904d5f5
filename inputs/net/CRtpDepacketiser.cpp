#include "inputs/net/CRtpDepacketiser.h"

void CRtpDepacketiser::Push(const BYTE* data, std::size_t length)
{
    // the header's length grows with its contributing sources and an extension
    if (length < 12 || (data[0] >> 6) != 2 || (data[1] & 0x7F) != 33)
        return;
    std::size_t header = 12 + std::size_t(data[0] & 0x0F) * 4;
    if ((data[0] & 0x10) && length >= header + 4)
        header += 4 + std::size_t((data[header + 2] << 8) | data[header + 3]) * 4;
    if (header > length)
        return;
    const auto sequence = std::uint16_t((data[2] << 8) | data[3]);
    if (!m_started) {
        m_started = true;
        m_next = sequence;
    }
    if (std::uint16_t(sequence - m_next) >= 0x8000)
        return;   // older than what was given out: late or repeated
    m_held[sequence].assign(data + header, data + length);
    // in order while the next one is there; past a full window, the missing ones are lost
    for (;;) {
        auto next = m_held.find(m_next);
        if (next == m_held.end()) {
            if (m_held.size() <= ReorderWindow)
                return;
            // skip to the oldest held, counting what never came
            std::uint16_t oldest = m_held.begin()->first;
            for (const auto& held : m_held)
                if (std::uint16_t(held.first - m_next) < std::uint16_t(oldest - m_next))
                    oldest = held.first;
            m_lost += std::uint16_t(oldest - m_next);
            m_next = oldest;
            continue;
        }
        m_deliver(next->second.data(), next->second.size());
        m_held.erase(next);
        ++m_next;
    }
}
