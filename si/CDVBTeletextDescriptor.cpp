#include "si/CDVBTeletextDescriptor.h"

#include <cstring>

bool CDVBTeletextDescriptor::Parse(CDVBByteReader payload)
{
    CDVBByteReader code;
    if (payload.Remaining() >= 5 && payload.Split(3, code))   // language, type and magazine, page
        std::memcpy(m_languageCode, code.Data(), 3);
    return true;
}

void CDVBTeletextDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    std::memcpy(m_languageCode, static_cast<const CDVBTeletextDescriptor*>(source)->m_languageCode,
                sizeof m_languageCode);
}
