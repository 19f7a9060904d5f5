#include "si/CDVBSectionTap.h"

#include "si/CalculateCRC32.h"

void CDVBSectionTap::OnSectionComplete()
{
    const bool longForm = m_buffer[1] & 0x80;
    if (longForm && (m_currentSectionLength < 9 || CalculateCRC32(m_buffer, int(m_expectedLength)) != 0))
        return;
    m_callback(m_buffer, m_expectedLength);
}
