#include "si/CDVBPMTSection.h"


#include <memory>

bool CDVBPMTSection::ParseBody(CDVBByteReader reader)
{
    WORD pcr = 0, info = 0;
    if (!reader.ReadWord(pcr) || !reader.ReadWord(info))
        return false;
    m_reserved1 = BYTE(pcr >> 13);
    m_pcrPid = WORD(pcr & 0x1FFF);
    m_reserved2 = BYTE(info >> 12);
    m_programInfoLength = WORD(info & 0x0FFF);
    if (!ParseDescriptorLoop(m_descriptors, reader, m_programInfoLength))
        return false;

    while (reader.Remaining() >= 5) {   // fewer trailing bytes are not a stream
        auto entry = std::make_unique<CDVBPMTEntry>();
        WORD pid = 0, esInfo = 0;
        if (!reader.ReadByte(entry->m_streamType) || !reader.ReadWord(pid) || !reader.ReadWord(esInfo))
            return false;
        entry->m_reserved1 = BYTE(pid >> 13);
        entry->m_elementaryPid = WORD(pid & 0x1FFF);
        entry->m_reserved2 = BYTE(esInfo >> 12);
        entry->m_esInfoLength = WORD(esInfo & 0x0FFF);
        if (!ParseDescriptorLoop(entry->m_descriptors, reader, entry->m_esInfoLength))
            return false;   // a lying length drops the section; the one held before stays
        m_entries.push_back(entry.release());
    }
    return true;
}
