#include "si/CDVBISO639LanguageDescriptor.h"

#include <cstring>

bool CDVBISO639LanguageDescriptor::Parse(CDVBByteReader payload)
{
    CDVBByteReader code;
    if (!payload.Split(3, code) || !payload.ReadByte(m_audioType))
        return false;   // no language without its audio type
    std::memcpy(m_languageCode, code.Data(), 3);
    return true;
}

void CDVBISO639LanguageDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    const auto* from = static_cast<const CDVBISO639LanguageDescriptor*>(source);
    std::memcpy(m_languageCode, from->m_languageCode, sizeof m_languageCode);
    m_audioType = from->m_audioType;
}
