#include "si/CDVBNITSection.h"


#include <memory>

bool CDVBNITSection::ParseBody(CDVBByteReader reader)
{
    WORD word = 0;
    if (!reader.ReadWord(word))
        return false;
    m_reserved1 = BYTE(word >> 12);
    m_networkDescriptorsLength = WORD(word & 0x0FFF);
    if (!ParseDescriptorLoop(m_descriptors, reader, m_networkDescriptorsLength))
        return false;
    if (!reader.ReadWord(word))
        return false;
    m_reserved2 = BYTE(word >> 12);
    m_transportStreamLoopLength = WORD(word & 0x0FFF);
    CDVBByteReader loop;   // bytes after the loop are ignored
    if (!reader.Split(m_transportStreamLoopLength, loop))
        return false;
    while (loop.Remaining() >= 6) {
        auto entry = std::make_unique<CDVBNITEntry>();
        if (!loop.ReadWord(entry->m_transportStreamId) || !loop.ReadWord(entry->m_originalNetworkId) ||
            !loop.ReadWord(word))
            return false;
        entry->m_reserved = BYTE(word >> 12);
        entry->m_transportDescriptorsLength = WORD(word & 0x0FFF);
        if (!ParseDescriptorLoop(entry->m_descriptors, loop, entry->m_transportDescriptorsLength))
            return false;
        m_entries.push_back(entry.release());
    }
    return true;
}
