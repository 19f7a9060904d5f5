#include "si/CDVBExtendedEventDescriptor.h"

bool CDVBExtendedEventDescriptor::Parse(const BYTE* payload)
{
    if (m_length < 5)
        return false;
    BYTE remaining = m_length;
    m_descriptorNumber = BYTE(payload[0] >> 4);
    m_lastDescriptorNumber = BYTE(payload[0] & 0x0F);
    ++payload;
    --remaining;
    if (!ReadFixedText(payload, remaining, 3, m_languageCode))
        return false;
    m_lengthOfItems = *payload++;
    --remaining;
    if (m_lengthOfItems > remaining)
        return false;
    // the items may not reach past their own length
    BYTE items = m_lengthOfItems;
    remaining = BYTE(remaining - items);
    while (items > 0) {
        BYTE length = 0;
        CString description, item;
        if (!ReadCountedText(payload, items, length, description) || !ReadCountedText(payload, items, length, item))
            return false;
        m_items.emplace_back(description, item);
    }
    return ReadCountedText(payload, remaining, m_textLength, m_text);
}

void CDVBExtendedEventDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    const auto* from = static_cast<const CDVBExtendedEventDescriptor*>(source);
    m_descriptorNumber = from->m_descriptorNumber;
    m_lastDescriptorNumber = from->m_lastDescriptorNumber;
    m_languageCode = from->m_languageCode;
    m_lengthOfItems = from->m_lengthOfItems;
    m_items = from->m_items;
    m_textLength = from->m_textLength;
    m_text = from->m_text;
}
