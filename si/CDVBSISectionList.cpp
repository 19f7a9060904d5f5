#include "si/CDVBSISectionList.h"

#include <iterator>

void CDVBSISectionList::Index(Position position)
{
    if ((*position)->m_sectionSyntaxIndicator)
        m_longSections[KeyOf(*position)] = position;
}

void CDVBSISectionList::Unindex(Position position)
{
    const auto found = (*position)->m_sectionSyntaxIndicator ? m_longSections.find(KeyOf(*position)) : m_longSections.end();
    if (found != m_longSections.end() && found->second == position)
        m_longSections.erase(found);
}

void CDVBSISectionList::AddSection(CDVBSISection* section)
{
    push_back(section);
    Index(std::prev(end()));
}

void CDVBSISectionList::ReplaceSection(Position position, CDVBSISection* section)
{
    Unindex(position);
    delete *position;
    *position = section;
    Index(position);
}

CDVBSISectionList::Position CDVBSISectionList::RemoveSection(Position position)
{
    Unindex(position);
    return erase(position);
}

void CDVBSISectionList::DeleteAll()
{
    m_longSections.clear();
    CDVBOwningList::DeleteAll();
}

int CDVBSISectionList::FindLongSection(BYTE tableId, WORD extension, BYTE sectionNumber, WORD sectionLength,
                                       DWORD crc, Position& position)
{
    const auto found = m_longSections.find(KeyOf(tableId, extension, sectionNumber));
    if (found == m_longSections.end()) {
        position = end();
        return NotFound;
    }
    position = found->second;
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
