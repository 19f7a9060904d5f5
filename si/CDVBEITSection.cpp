#include "si/CDVBEITSection.h"


#include <memory>

bool CDVBEITSection::ParseBody(CDVBByteReader reader)
{
    if (!reader.ReadWord(m_transportStreamId) || !reader.ReadWord(m_originalNetworkId) ||
        !reader.ReadByte(m_segmentLastSectionNumber) || !reader.ReadByte(m_lastTableId))
        return false;
    m_entries.reserve(reader.Remaining() / 24);   // enough: few events take fewer bytes
    while (reader.Remaining() >= 12) {   // fewer trailing bytes are not an event
        auto entry = std::make_unique<CDVBEITEntry>();
        WORD loop = 0;
        if (!reader.ReadWord(entry->m_eventId) || !reader.ReadWord(entry->m_startDate) ||
            !reader.Read24(entry->m_startTime) || !reader.Read24(entry->m_duration) || !reader.ReadWord(loop))
            return false;
        entry->m_runningStatus = BYTE(loop >> 13);
        entry->m_freeCaMode = BYTE((loop >> 12) & 1);
        entry->m_descriptorsLoopLength = WORD(loop & 0x0FFF);
        if (!ParseDescriptorLoop(entry->m_descriptors, reader, entry->m_descriptorsLoopLength))
            return false;
        m_entries.push_back(entry.release());
    }
    return true;
}
