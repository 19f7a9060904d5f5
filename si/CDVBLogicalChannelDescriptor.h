#pragma once
// Logical channel descriptor: the channel numbers a network gives its services, in the
// transport stream loop of the NIT. Tag 0x83 (EACEM/EICTA, most of Europe; NorDig's first
// version with 14-bit numbers) and NorDig's 0x87, channel lists of which the first counts.
// Both tags are private: what they mean depends on the private data specifier before them.
#include "si/CDVBDescriptor.h"

#include <vector>

class CDVBDescriptorList;

class CDVBLogicalChannelDescriptor : public CDVBDescriptor
{
public:
    static constexpr BYTE Tag = 0x83;
    static constexpr BYTE NorDigTag = 0x87;

    struct Entry
    {
        WORD serviceId = 0;
        bool visible = true;
        WORD number = 0;
    };

    bool Parse(CDVBByteReader payload) override;
    void CopyFrom(const CDVBDescriptor* source) override;

    // The entries of every logical channel descriptor of the loop whose private data
    // specifier is one that defines these tags so, or none, as many networks leave it out.
    static std::vector<Entry> Collect(const CDVBDescriptorList& loop);

    // As sent: the flag and the 15 bits after it, which the specifier cuts to 10 or 14.
    struct Raw
    {
        WORD serviceId;
        WORD field;
    };
    std::vector<Raw> m_entries;
};
