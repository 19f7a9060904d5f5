#include "si/CDVBSISectionList.h"

void CDVBSISectionList::ReplaceSection(Position position, CDVBSISection* section)
{
    delete *position;
    *position = section;
}

int CDVBSISectionList::FindLongSection(BYTE tableId, WORD extension, BYTE sectionNumber, WORD sectionLength,
                                       DWORD crc, Position& position)
{
    for (position = begin(); position != end(); ++position) {
        const CDVBSISection* s = *position;
        if (s->m_sectionSyntaxIndicator && s->m_tableId == tableId && s->m_tableIdExtension == extension &&
            s->m_sectionNumber == sectionNumber)
            return (s->m_sectionLength != sectionLength || s->m_crc32 != crc) ? FoundChanged : FoundRepeat;
    }
    return NotFound;
}

int CDVBSISectionList::FindShortSection(BYTE tableId, Position& position)
{
    for (position = begin(); position != end(); ++position) {
        const CDVBSISection* s = *position;
        if (!s->m_sectionSyntaxIndicator && s->m_tableId == tableId)
            return FoundChanged;
    }
    return NotFound;
}
