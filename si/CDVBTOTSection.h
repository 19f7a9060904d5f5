#pragma once
// Time offset section (0x73, short form): the UTC date and time and the local time
// offset descriptors, held as bare descriptors.
#include "platform/CString.h"
#include "si/CDVBDescriptorList.h"
#include "si/CDVBSISection.h"

class CDVBTOTSection : public CDVBSISection
{
public:
    CDVBTOTSection() { m_type = TypeTOT; }
    bool ParseBody(CDVBByteReader reader) override;

    void GetDateText(CString& text) const;   // "dd/mm/yyyy"
    void GetTimeText(CString& text) const;   // "hh:mm:ss"

    WORD m_utcDate = 0;
    DWORD m_utcTime = 0;
    BYTE m_reserved = 0;
    WORD m_descriptorsLoopLength = 0;
    CDVBDescriptorList m_descriptors;
};
