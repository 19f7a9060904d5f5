#include "modules/inputs/net/CRtpDepacketiser.h"

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
    if (std::uint16_t(sequence - m_next) >= 0x8000 || Find(sequence))
        return;   // older than what was given out, or held already: late or repeated
    Slot* free = nullptr;
    for (Slot& slot : m_slots)
        if (!slot.m_used)
            free = &slot;
    free->m_used = true;   // there is always one: at most ReorderWindow wait between calls
    free->m_sequence = sequence;
    free->m_payload.assign(data + header, data + length);
    ++m_held;
    // in order while the next one is there; past a full window, the missing ones are lost
    for (;;) {
        Slot* next = Find(m_next);
        if (next == nullptr) {
            if (m_held <= ReorderWindow)
                return;
            // skip to the oldest held, counting what never came
            auto oldest = std::uint16_t(m_next - 1);   // the farthest, till one held is nearer
            for (const Slot& slot : m_slots)
                if (slot.m_used && std::uint16_t(slot.m_sequence - m_next) < std::uint16_t(oldest - m_next))
                    oldest = slot.m_sequence;
            m_lost += std::uint16_t(oldest - m_next);
            m_next = oldest;
            continue;
        }
        m_deliver(next->m_payload.data(), next->m_payload.size());
        next->m_used = false;
        --m_held;
        ++m_next;
    }
}

CRtpDepacketiser::Slot* CRtpDepacketiser::Find(std::uint16_t sequence)
{
    for (Slot& slot : m_slots)
        if (slot.m_used && slot.m_sequence == sequence)
            return &slot;
    return nullptr;
}
