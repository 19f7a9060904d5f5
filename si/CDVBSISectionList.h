#pragma once
// The sections an SI receiver holds, in arrival order; the list owns them.
#include "core/CDVBOwningList.h"
#include "si/CDVBSISection.h"

class CDVBSISectionList : public CDVBOwningList<CDVBSISection>
{
public:
    using Position = iterator;

    // Results of the Find operations.
    static constexpr int FoundRepeat = 0;
    static constexpr int FoundChanged = 1;
    static constexpr int NotFound = 2;

    CDVBSISectionList() : m_next(end()) {}

    void AddSection(CDVBSISection* section) { push_back(section); }
    // Deletes the section at `position` and puts `section` in its place.
    void ReplaceSection(Position position, CDVBSISection* section);
    // Unlinks without deleting; returns the position after it.
    Position RemoveSection(Position position);
    void DeleteAll();

    // The first long-form section with this table_id, extension and section number:
    // FoundRepeat when its length and CRC match, FoundChanged when not, else NotFound.
    int FindLongSection(BYTE tableId, WORD extension, BYTE sectionNumber, WORD sectionLength, DWORD crc,
                        Position& position);
    // The first short-form section with this table_id: FoundChanged, or NotFound.
    int FindShortSection(BYTE tableId, Position& position);

private:
    // Sections come round in the order they are kept: a search starts after the last one
    // found, so a carousel's next section is found at once.
    Position m_next;
};
