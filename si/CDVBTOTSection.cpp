#include "si/CDVBTOTSection.h"

#include "si/DVBTime.h"

bool CDVBTOTSection::ParseBody(CDVBByteReader reader)
{
    WORD loop = 0;
    if (!reader.ReadWord(m_utcDate) || !reader.Read24(m_utcTime) || !reader.ReadWord(loop))
        return false;
    m_reserved = BYTE(loop >> 12);
    m_descriptorsLoopLength = WORD(loop & 0x0FFF);
    if (!ParseDescriptorLoop(m_descriptors, reader, m_descriptorsLoopLength))
        return false;
    // the CRC_32 field must follow; its value was not tested for this short-form section
    return reader.Remaining() >= 4;   // the receiver's time line says it came
}

void CDVBTOTSection::GetDateText(CString& text) const
{
    MJDToDateText(m_utcDate, text);
}

void CDVBTOTSection::GetTimeText(CString& text) const
{
    BCDTimeToText(m_utcTime, text);
}
