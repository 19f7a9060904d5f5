#pragma once
// Time and date section (0x70, short form): the broadcast's UTC date and time.
#include "platform/CString.h"
#include "si/CDVBSISection.h"

class CDVBTDTSection : public CDVBSISection
{
public:
    CDVBTDTSection() { m_type = TypeTDT; }
    bool ParseBody(CDVBByteReader reader) override;

    void GetDateText(CString& text) const;   // "dd/mm/yyyy"
    void GetTimeText(CString& text) const;   // "hh:mm:ss"

    WORD m_utcDate = 0;   // MJD
    DWORD m_utcTime = 0;  // BCD hh mm ss in bits 23-0
};
