#include "decode/CDVBTeletextReceiver.h"

bool CDVBTeletextReceiver::OnPESPacket(const BYTE* data, DWORD size, long long presentationTime)
{
    m_count = 0;
    const bool teletext = CDVBTeletextDataUnits::Read(data, size, [&](const CDVBTeletextLine& line) {
        m_lines[m_count++] = line;
        if (m_count == kBatch)
            Flush(presentationTime);
    });
    Flush(presentationTime);
    return teletext;
}

void CDVBTeletextReceiver::Flush(long long presentationTime)
{
    if (m_count > 0 && m_handler)
        m_handler(m_lines, m_count, presentationTime);
    m_count = 0;
}
