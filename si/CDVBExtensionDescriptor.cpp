#include "si/CDVBExtensionDescriptor.h"

#include <cstring>

bool CDVBExtensionDescriptor::Parse(CDVBByteReader payload)
{
    if (!payload.ReadByte(m_extensionTag))
        return false;
    BYTE flags = 0;
    if (m_extensionTag != SupplementaryAudio || !payload.ReadByte(flags))
        return true;
    m_editorialClassification = BYTE(flags >> 2 & 0x1F);
    CDVBByteReader code;
    if ((flags & 1) && payload.Split(3, code))
        std::memcpy(m_languageCode, code.Data(), 3);
    return true;
}

void CDVBExtensionDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    const auto* from = static_cast<const CDVBExtensionDescriptor*>(source);
    m_extensionTag = from->m_extensionTag;
    m_editorialClassification = from->m_editorialClassification;
    std::memcpy(m_languageCode, from->m_languageCode, sizeof m_languageCode);
}
