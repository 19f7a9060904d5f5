#include "si/CDVBSISection.h"

#include "si/CDVBEITSection.h"
#include "si/CDVBNITSection.h"
#include "si/CDVBPATSection.h"
#include "si/CDVBPMTSection.h"
#include "si/CDVBSDTSection.h"
#include "si/CDVBTDTSection.h"
#include "si/CDVBTOTSection.h"

bool CDVBSISection::Parse(const BYTE* section, DWORD available)
{
    CDVBByteReader body;
    return ParseHeader(section, available, body) && ParseBody(body);
}

bool CDVBSISection::ParseHeader(const BYTE* section, DWORD available, CDVBByteReader& body)
{
    // no section reaches past 3 + 4095 bytes: a larger count only needs to be large
    CDVBByteReader reader(section, WORD(available < 0xFFFF ? available : 0xFFFF));
    WORD word = 0;
    CDVBByteReader rest;
    if (!reader.ReadByte(m_tableId) || !reader.ReadWord(word))
        return false;
    m_sectionSyntaxIndicator = BYTE(word >> 15);
    m_privateIndicator = BYTE((word >> 14) & 1);
    m_reserved1 = BYTE((word >> 12) & 3);
    m_sectionLength = WORD(word & 0x0FFF);
    if (!reader.Split(m_sectionLength, rest))
        return false;
    if (!m_sectionSyntaxIndicator) {
        body = rest;
        return true;
    }
    BYTE flags = 0;
    if (!rest.ReadWord(m_tableIdExtension) || !rest.ReadByte(flags) || !rest.ReadByte(m_sectionNumber) ||
        !rest.ReadByte(m_lastSectionNumber) || rest.Remaining() < 4)
        return false;
    m_reserved2 = BYTE(flags >> 6);
    m_versionNumber = BYTE((flags >> 1) & 0x1F);
    m_currentNextIndicator = BYTE(flags & 1);
    return rest.Split(WORD(rest.Remaining() - 4), body) && rest.Read32(m_crc32);
}

bool CDVBSISection::ParseBody(CDVBByteReader)
{
    return true;
}

bool CDVBSISection::ParseDescriptorLoop(CDVBDescriptorList& list, CDVBByteReader& reader, WORD length)
{
    CDVBByteReader loop;
    if (!reader.Split(length, loop))
        return false;
    if (!list.Parse(loop))
        ++m_damagedDescriptorLoops;
    return true;
}

CDVBSISection* CreateLongSection(BYTE tableId)
{
    if (tableId == 0x00)
        return new CDVBPATSection;
    if (tableId == 0x02)
        return new CDVBPMTSection;
    if (tableId == 0x40 || tableId == 0x41)
        return new CDVBNITSection;
    if (tableId == 0x42 || tableId == 0x46)
        return new CDVBSDTSection;
    if (tableId >= 0x4E && tableId <= 0x6F)
        return new CDVBEITSection;
    return new CDVBSISection;
}

CDVBSISection* CreateShortSection(BYTE tableId)
{
    if (tableId == 0x70)
        return new CDVBTDTSection;
    if (tableId == 0x73)
        return new CDVBTOTSection;
    return nullptr;
}
