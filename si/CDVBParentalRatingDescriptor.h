#pragma once
// Parental rating descriptor (0x55): per country code, a rating; 0x01-0x0F mean a minimum
// age of the rating plus 3 years.
#include "si/CDVBDescriptor.h"

#include <utility>
#include <vector>

class CDVBParentalRatingDescriptor : public CDVBDescriptor
{
public:
    static constexpr BYTE Tag = 0x55;

    bool Parse(CDVBByteReader payload) override;
    void CopyFrom(const CDVBDescriptor* source) override;

    std::vector<std::pair<CString, BYTE>> m_ratings;   // country code, rating
};
