#pragma once
// Teletext descriptor (0x56): the language of the first teletext entry only.
#include "si/CDVBDescriptor.h"

class CDVBTeletextDescriptor : public CDVBDescriptor
{
public:
    static constexpr BYTE Tag = 0x56;

    bool Parse(CDVBByteReader payload) override;
    void CopyFrom(const CDVBDescriptor* source) override;

    char m_languageCode[4] = {};   // three letters and a NUL; empty without a whole entry
};
