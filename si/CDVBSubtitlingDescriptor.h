#pragma once
// Subtitling descriptor (0x59): every subtitling entry (language, type, the page ids a
// decoder picks its segments by); m_languageCode is the first entry's.
#include "si/CDVBDescriptor.h"

#include <vector>

class CDVBSubtitlingDescriptor : public CDVBDescriptor
{
public:
    static constexpr BYTE Tag = 0x59;

    struct Entry
    {
        char languageCode[4] = {};
        BYTE type = 0;   // 0x10-0x15 normal, 0x20-0x25 for the hard of hearing
        WORD compositionPage = 0;
        WORD ancillaryPage = 0;
        bool ForHardOfHearing() const { return type >= 0x20 && type <= 0x25; }
    };

    bool Parse(CDVBByteReader payload) override;
    void CopyFrom(const CDVBDescriptor* source) override;

    char m_languageCode[4] = {};   // three letters and a NUL
    std::vector<Entry> m_entries;
};
