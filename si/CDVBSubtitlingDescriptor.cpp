#include "si/CDVBSubtitlingDescriptor.h"

#include <cstring>

bool CDVBSubtitlingDescriptor::Parse(CDVBByteReader payload)
{
    CDVBByteReader code;
    if (payload.Remaining() >= 4 && payload.Split(3, code))
        std::memcpy(m_languageCode, code.Data(), 3);
    return true;
}

void CDVBSubtitlingDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    std::memcpy(m_languageCode, static_cast<const CDVBSubtitlingDescriptor*>(source)->m_languageCode,
                sizeof m_languageCode);
}
