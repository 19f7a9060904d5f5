#include "si/CDVBSDTSection.h"

#include <memory>

bool CDVBSDTSection::ParseBody(CDVBByteReader reader)
{
    if (!reader.ReadWord(m_originalNetworkId) || !reader.ReadByte(m_reserved))
        return false;
    while (reader.Remaining() >= 5) {   // fewer trailing bytes are not a service
        auto entry = std::make_unique<CDVBSDTEntry>();
        BYTE flags = 0;
        WORD loop = 0;
        if (!reader.ReadWord(entry->m_serviceId) || !reader.ReadByte(flags) || !reader.ReadWord(loop))
            return false;
        entry->m_reserved = BYTE(flags >> 2);
        entry->m_eitScheduleFlag = BYTE((flags >> 1) & 1);
        entry->m_eitPresentFollowingFlag = BYTE(flags & 1);
        entry->m_runningStatus = BYTE(loop >> 13);
        entry->m_freeCaMode = BYTE((loop >> 12) & 1);
        entry->m_descriptorsLoopLength = WORD(loop & 0x0FFF);
        if (!ParseDescriptorLoop(entry->m_descriptors, reader, entry->m_descriptorsLoopLength))
            return false;
        m_entries.push_back(entry.release());
    }
    return true;
}
