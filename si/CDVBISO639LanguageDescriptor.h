#pragma once
// ISO 639 language descriptor (0x0A): the language of an elementary stream. Only the
// first language entry is kept.
#include "si/CDVBDescriptor.h"

class CDVBISO639LanguageDescriptor : public CDVBDescriptor
{
public:
    static constexpr BYTE Tag = 0x0A;

    bool Parse(CDVBByteReader payload) override;
    void CopyFrom(const CDVBDescriptor* source) override;

    char m_languageCode[4] = {};   // three letters and a NUL
    BYTE m_audioType = 0;
};
