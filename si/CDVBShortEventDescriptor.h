#pragma once
// Short event descriptor (0x4D): an event's language, name and text, as broadcast.
#include "si/CDVBDescriptor.h"

class CDVBShortEventDescriptor : public CDVBDescriptor
{
public:
    static constexpr BYTE Tag = 0x4D;

    bool Parse(CDVBByteReader payload) override;
    void CopyFrom(const CDVBDescriptor* source) override;

    CString m_languageCode;
    BYTE m_eventNameLength = 0;
    CString m_eventName;
    BYTE m_textLength = 0;
    CString m_text;
};
