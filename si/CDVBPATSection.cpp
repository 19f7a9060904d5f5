#include "si/CDVBPATSection.h"


bool CDVBPATSection::ParseBody(CDVBByteReader reader)
{
    WORD number = 0, pid = 0;
    // fewer than 4 trailing bytes are not an entry; a PAT body never fails
    while (reader.ReadWord(number) && reader.ReadWord(pid)) {
        auto* entry = new CDVBPATEntry;
        entry->m_programNumber = number;
        entry->m_reserved = BYTE(pid >> 13);
        entry->m_pid = WORD(pid & 0x1FFF);
        m_entries.push_back(entry);
    }
    return true;
}
