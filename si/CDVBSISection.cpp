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
    if (available < 3)
        return false;
    m_tableId = section[0];
    m_sectionSyntaxIndicator = BYTE(section[1] >> 7);
    m_privateIndicator = BYTE((section[1] >> 6) & 1);
    m_reserved1 = BYTE((section[1] >> 4) & 3);
    m_sectionLength = WORD(((section[1] & 0x0F) << 8) | section[2]);
    if (DWORD(m_sectionLength) + 3 > available)
        return false;
    if (!m_sectionSyntaxIndicator)
        return ParseBody(section + 3, m_sectionLength);
    if (m_sectionLength < 9)
        return false;
    m_tableIdExtension = WORD((section[3] << 8) | section[4]);
    m_reserved2 = BYTE(section[5] >> 6);
    m_versionNumber = BYTE((section[5] >> 1) & 0x1F);
    m_currentNextIndicator = BYTE(section[5] & 1);
    m_sectionNumber = section[6];
    m_lastSectionNumber = section[7];
    const BYTE* crc = section + 3 + m_sectionLength - 4;
    m_crc32 = (DWORD(crc[0]) << 24) | (DWORD(crc[1]) << 16) | (DWORD(crc[2]) << 8) | crc[3];
    return ParseBody(section + 8, WORD(m_sectionLength - 9));
}

bool CDVBSISection::ParseBody(const BYTE*, WORD)
{
    return true;
}

bool CDVBSISection::IsExpired(DWORD)
{
    return false;
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
