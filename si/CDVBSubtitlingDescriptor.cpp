#include "si/CDVBSubtitlingDescriptor.h"

#include <cstring>

bool CDVBSubtitlingDescriptor::Parse(const BYTE* payload)
{
    if (m_length >= 4) {
        std::memcpy(m_languageCode, payload, 3);
        m_languageCode[3] = '\0';
    }
    return true;
}

void CDVBSubtitlingDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    std::memcpy(m_languageCode, static_cast<const CDVBSubtitlingDescriptor*>(source)->m_languageCode,
                sizeof m_languageCode);
}
