#include "si/CDVBSubtitlingDescriptor.h"

#include <cstring>

bool CDVBSubtitlingDescriptor::Parse(CDVBByteReader payload)
{
    m_entries.clear();
    CDVBByteReader code;
    while (payload.Remaining() >= 8 && payload.Split(3, code)) {
        Entry entry;
        std::memcpy(entry.languageCode, code.Data(), 3);
        if (!payload.ReadByte(entry.type) || !payload.ReadWord(entry.compositionPage) ||
            !payload.ReadWord(entry.ancillaryPage))
            break;
        m_entries.push_back(entry);
    }
    if (!m_entries.empty())
        std::memcpy(m_languageCode, m_entries[0].languageCode, 3);
    else if (payload.Remaining() >= 4 && payload.Split(3, code))   // a language without its pages
        std::memcpy(m_languageCode, code.Data(), 3);
    return true;
}

void CDVBSubtitlingDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    const auto* from = static_cast<const CDVBSubtitlingDescriptor*>(source);
    std::memcpy(m_languageCode, from->m_languageCode, sizeof m_languageCode);
    m_entries = from->m_entries;
}
