#pragma once
// Extended event descriptor (0x4E): one part of an event's longer description, as
// broadcast: item descriptions with their items, and text. An event's parts are joined
// in descriptor_number order by those who show them.
#include "si/CDVBDescriptor.h"

#include <utility>
#include <vector>

class CDVBExtendedEventDescriptor : public CDVBDescriptor
{
public:
    static constexpr BYTE Tag = 0x4E;

    bool Parse(CDVBByteReader payload) override;
    void CopyFrom(const CDVBDescriptor* source) override;

    BYTE m_descriptorNumber = 0;
    BYTE m_lastDescriptorNumber = 0;
    CString m_languageCode;
    BYTE m_lengthOfItems = 0;
    std::vector<std::pair<CString, CString>> m_items;   // description, item
    BYTE m_textLength = 0;
    CString m_text;
};
