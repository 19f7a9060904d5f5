#include "si/CDVBShortEventDescriptor.h"

bool CDVBShortEventDescriptor::Parse(const BYTE* payload)
{
    if (m_length < 3)
        return false;
    BYTE remaining = m_length;
    if (!ReadFixedText(payload, remaining, 3, m_languageCode))
        return false;
    return ReadCountedText(payload, remaining, m_eventNameLength, m_eventName) &&
           ReadCountedText(payload, remaining, m_textLength, m_text);
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
