#pragma once
// Subtitling descriptor (0x59): the language of the first subtitling entry only.
#include "si/CDVBDescriptor.h"

class CDVBSubtitlingDescriptor : public CDVBDescriptor
{
public:
    static constexpr BYTE Tag = 0x59;

    bool Parse(CDVBByteReader payload) override;
    void CopyFrom(const CDVBDescriptor* source) override;

    char m_languageCode[4] = {};   // three letters and a NUL
};
