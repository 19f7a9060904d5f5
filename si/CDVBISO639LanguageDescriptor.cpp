#include "si/CDVBISO639LanguageDescriptor.h"

#include <cstring>

bool CDVBISO639LanguageDescriptor::Parse(const BYTE* payload)
{
    if (m_length < 4)
        return false;
    std::memcpy(m_languageCode, payload, 3);
    m_languageCode[3] = '\0';
    m_audioType = payload[3];
    return true;
}

void CDVBISO639LanguageDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    const auto* from = static_cast<const CDVBISO639LanguageDescriptor*>(source);
    std::memcpy(m_languageCode, from->m_languageCode, sizeof m_languageCode);
    m_audioType = from->m_audioType;
}
