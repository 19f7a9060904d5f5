#include "si/CDVBExtendedEventDescriptor.h"

bool CDVBExtendedEventDescriptor::Parse(CDVBByteReader payload)
{
    BYTE numbers = 0;
    if (payload.Remaining() < 5 || !payload.ReadByte(numbers))
        return false;
    m_descriptorNumber = BYTE(numbers >> 4);
    m_lastDescriptorNumber = BYTE(numbers & 0x0F);
    CDVBByteReader items;   // the items may not reach past their own length
    if (!ReadFixedText(payload, 3, m_languageCode) || !payload.ReadByte(m_lengthOfItems) ||
        !payload.Split(m_lengthOfItems, items))
        return false;
    bool itemsWhole = true;
    while (itemsWhole && items.Remaining() > 0) {
        BYTE length = 0;
        CString description, item;
        // a damaged item ends the items as a damaged descriptor ends its loop: the text stays
        itemsWhole = ReadCountedText(items, length, description) && ReadCountedText(items, length, item);
        if (itemsWhole)
            m_items.emplace_back(description, item);
    }
    return ReadCountedText(payload, m_textLength, m_text) && itemsWhole;
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
