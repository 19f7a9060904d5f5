#include "si/CDVBSISectionList.h"

#include <algorithm>
#include <iterator>

void CDVBSISectionList::ReplaceSection(Position position, CDVBSISection* section)
{
    delete *position;
    *position = section;
}

CDVBSISectionList::Position CDVBSISectionList::RemoveSection(Position position)
{
    const Position next = erase(position);
    if (m_next == position)
        m_next = next;
    return next;
}

void CDVBSISectionList::DeleteAll()
{
    CDVBOwningList::DeleteAll();
    m_next = end();
}

int CDVBSISectionList::FindLongSection(BYTE tableId, WORD extension, BYTE sectionNumber, WORD sectionLength,
                                       DWORD crc, Position& position)
{
    const auto matches = [&](const CDVBSISection* s) {
        return s->m_sectionSyntaxIndicator && s->m_tableId == tableId && s->m_tableIdExtension == extension &&
               s->m_sectionNumber == sectionNumber;
    };
    position = std::find_if(m_next, end(), matches);
    if (position == end()) {
        position = std::find_if(begin(), m_next, matches);
        if (position == m_next) {
            position = end();
            return NotFound;
        }
    }
    m_next = std::next(position);
    const CDVBSISection* s = *position;
    return (s->m_sectionLength != sectionLength || s->m_crc32 != crc) ? FoundChanged : FoundRepeat;
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
