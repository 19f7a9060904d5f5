#include "si/CDVBTeletextDescriptor.h"

#include <cstring>

bool CDVBTeletextDescriptor::Parse(CDVBByteReader payload)
{
    m_entries.clear();
    CDVBByteReader code;
    BYTE typeAndMagazine = 0, page = 0;
    while (payload.Remaining() >= 5 && payload.Split(3, code) && payload.ReadByte(typeAndMagazine) && payload.ReadByte(page)) {
        Entry entry;
        std::memcpy(entry.languageCode, code.Data(), 3);
        entry.type = BYTE(typeAndMagazine >> 3);
        const int magazine = typeAndMagazine & 7;
        // magazine 0 is 8; the page is two BCD digits
        entry.page = (magazine == 0 ? 800 : magazine * 100) + (page >> 4) * 10 + (page & 0x0F);
        m_entries.push_back(entry);
    }
    if (!m_entries.empty())
        std::memcpy(m_languageCode, m_entries[0].languageCode, 3);
    return true;
}

void CDVBTeletextDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    const auto* from = static_cast<const CDVBTeletextDescriptor*>(source);
    std::memcpy(m_languageCode, from->m_languageCode, sizeof m_languageCode);
    m_entries = from->m_entries;
}
