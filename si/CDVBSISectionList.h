#pragma once
// The sections an SI receiver holds, in arrival order; the list owns them.
#include "core/CDVBOwningList.h"
#include "si/CDVBSISection.h"

#include <cstdint>
#include <functional>
#include <list>
#include <unordered_map>

class CDVBSISectionList
    : public CDVBOwningList<CDVBSISection, std::list<CDVBSISection*, CSmallBlockCache::Allocator<CDVBSISection*>>>
{
public:
    using Position = iterator;

    // Results of the Find operations.
    static constexpr int FoundRepeat = 0;
    static constexpr int FoundChanged = 1;
    static constexpr int NotFound = 2;

    void AddSection(CDVBSISection* section);
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
    static std::uint32_t KeyOf(BYTE tableId, WORD extension, BYTE sectionNumber)
    {
        return std::uint32_t(tableId) << 24 | std::uint32_t(extension) << 8 | sectionNumber;
    }
    static std::uint32_t KeyOf(const CDVBSISection* s) { return KeyOf(s->m_tableId, s->m_tableIdExtension, s->m_sectionNumber); }
    void Index(Position position);
    void Unindex(Position position);

    // The long-form sections by table_id, extension and section number: a multiplex's EIT
    // PID alone holds hundreds, and every section that arrives is looked up.
    std::unordered_map<std::uint32_t, Position, std::hash<std::uint32_t>, std::equal_to<std::uint32_t>,
                       CSmallBlockCache::Allocator<std::pair<const std::uint32_t, Position>>>
        m_longSections;
};
