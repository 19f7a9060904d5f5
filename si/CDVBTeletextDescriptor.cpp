#include "si/CDVBTeletextDescriptor.h"

#include <cstring>

bool CDVBTeletextDescriptor::Parse(const BYTE* payload)
{
    if (m_length >= 5) {   // language, type and magazine, page
        std::memcpy(m_languageCode, payload, 3);
        m_languageCode[3] = '\0';
    }
    return true;
}

void CDVBTeletextDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    std::memcpy(m_languageCode, static_cast<const CDVBTeletextDescriptor*>(source)->m_languageCode,
                sizeof m_languageCode);
}
