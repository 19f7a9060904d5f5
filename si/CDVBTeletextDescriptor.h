#pragma once
// Teletext descriptor (0x56): every teletext entry (language, type, page number);
// m_languageCode is the first entry's.
#include "si/CDVBDescriptor.h"

#include <vector>

class CDVBTeletextDescriptor : public CDVBDescriptor
{
public:
    static constexpr BYTE Tag = 0x56;

    struct Entry
    {
        char languageCode[4] = {};
        BYTE type = 0;   // 1 initial page, 2 subtitles, 3 additional information, 4 schedule, 5 subtitles for the hard of hearing
        int page = 100;  // 100-899, as people type it
        bool Subtitles() const { return type == 2 || type == 5; }
    };

    bool Parse(CDVBByteReader payload) override;
    void CopyFrom(const CDVBDescriptor* source) override;

    char m_languageCode[4] = {};   // three letters and a NUL; empty without a whole entry
    std::vector<Entry> m_entries;
};
