#include "si/CDVBTDTSection.h"

#include "si/DVBTime.h"

bool CDVBTDTSection::ParseBody(CDVBByteReader reader)
{
    return reader.ReadWord(m_utcDate) && reader.Read24(m_utcTime);
}

void CDVBTDTSection::GetDateText(CString& text) const
{
    MJDToDateText(m_utcDate, text);
}

void CDVBTDTSection::GetTimeText(CString& text) const
{
    BCDTimeToText(m_utcTime, text);
}
