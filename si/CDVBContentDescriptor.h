#pragma once
// Content descriptor (0x54): an event's genres, each a pair of content nibbles (level 1 in
// the high four bits, level 2 in the low) and a user byte.
#include "si/CDVBDescriptor.h"

#include <vector>

class CDVBContentDescriptor : public CDVBDescriptor
{
public:
    static constexpr BYTE Tag = 0x54;

    bool Parse(CDVBByteReader payload) override;
    void CopyFrom(const CDVBDescriptor* source) override;
    // The genre's name in English for the nibbles of `content` (level 1 then level 2);
    // null for user-defined and reserved values.
    static const char* GetGenreText(BYTE content);

    std::vector<BYTE> m_contentNibbles;
    std::vector<BYTE> m_userBytes;
};
