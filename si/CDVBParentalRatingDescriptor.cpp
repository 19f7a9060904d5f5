#include "si/CDVBParentalRatingDescriptor.h"

bool CDVBParentalRatingDescriptor::Parse(CDVBByteReader payload)
{
    CDVBByteReader country;
    BYTE rating = 0;
    while (payload.Remaining() >= 4 && payload.Split(3, country) && payload.ReadByte(rating))
        m_ratings.emplace_back(CString(reinterpret_cast<const char*>(country.Data()), 3), rating);
    return payload.Remaining() == 0;
}

void CDVBParentalRatingDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    m_ratings = static_cast<const CDVBParentalRatingDescriptor*>(source)->m_ratings;
}
