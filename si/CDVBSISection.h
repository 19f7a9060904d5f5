#pragma once
// Base of every parsed section: the header fields, then a table-specific body. Fields are
// public and read directly by the service model.
#include "core/CDVBByteReader.h"
#include "core/CSmallBlockCache.h"
#include "platform/LUMTypes.h"
#include "si/CDVBDescriptorList.h"

class CDVBSISection : public CSmallBlockCache::Object   // made and dropped by the thousand
{
public:
    // Type codes of the section classes.
    static constexpr int TypeOther = 0;
    static constexpr int TypePAT = 1;
    static constexpr int TypePMT = 2;
    static constexpr int TypeSDT = 3;
    static constexpr int TypeEIT = 4;
    static constexpr int TypeNIT = 5;
    static constexpr int TypeTDT = 6;
    static constexpr int TypeTOT = 7;

    CDVBSISection() = default;
    CDVBSISection(const CDVBSISection&) = delete;
    CDVBSISection& operator=(const CDVBSISection&) = delete;
    virtual ~CDVBSISection() = default;

    // Reads the header and hands the body on; false drops the section. `available` is the
    // number of bytes at `section`.
    bool Parse(const BYTE* section, DWORD available);
    // The header alone, for those who only look at it or walk the body themselves. `body`
    // is left on the long form's bytes after last_section_number without the CRC, or on
    // all section_length bytes of the short form.
    bool ParseHeader(const BYTE* section, DWORD available, CDVBByteReader& body);
    virtual bool ParseBody(CDVBByteReader body);

    int m_type = TypeOther;
    BYTE m_tableId = 0;
    BYTE m_sectionSyntaxIndicator = 0;
    BYTE m_privateIndicator = 0;
    BYTE m_reserved1 = 0;
    WORD m_sectionLength = 0;
    WORD m_tableIdExtension = 0;
    BYTE m_reserved2 = 0;
    BYTE m_versionNumber = 0;
    BYTE m_currentNextIndicator = 0;
    BYTE m_sectionNumber = 0;
    BYTE m_lastSectionNumber = 0;
    DWORD m_crc32 = 0;
    // Descriptor loops that a damaged descriptor ended early; the section was kept.
    WORD m_damagedDescriptorLoops = 0;

protected:
    // Every table reads its descriptor loops through this, for one rule (docs/choices.md): a
    // descriptor that runs past its loop ends the loop, and the entry and the section stay.
    // False only when `reader` holds fewer than the loop's `length` bytes.
    bool ParseDescriptorLoop(CDVBDescriptorList& list, CDVBByteReader& reader, WORD length);
};

// The section class for a table_id: long form for any table_id (header-only sections for
// those without a class), short form only for the TDT (0x70) and TOT (0x73), else null.
CDVBSISection* CreateLongSection(BYTE tableId);
CDVBSISection* CreateShortSection(BYTE tableId);
