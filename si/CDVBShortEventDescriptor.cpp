#include "si/CDVBShortEventDescriptor.h"

bool CDVBShortEventDescriptor::Parse(CDVBByteReader payload)
{
    // a language cut short is none
    return payload.Remaining() >= 3 && ReadFixedText(payload, 3, m_languageCode) &&
           ReadCountedText(payload, m_eventNameLength, m_eventName) && ReadCountedText(payload, m_textLength, m_text);
}

void CDVBShortEventDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    const auto* from = static_cast<const CDVBShortEventDescriptor*>(source);
    m_languageCode = from->m_languageCode;
    m_eventNameLength = from->m_eventNameLength;
    m_eventName = from->m_eventName;
    m_textLength = from->m_textLength;
    m_text = from->m_text;
}
