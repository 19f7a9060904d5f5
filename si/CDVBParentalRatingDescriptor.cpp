#include "si/CDVBParentalRatingDescriptor.h"

bool CDVBParentalRatingDescriptor::Parse(const BYTE* payload)
{
    for (BYTE at = 0; at + 4 <= m_length; at = BYTE(at + 4))
        m_ratings.emplace_back(CString(reinterpret_cast<const char*>(payload + at), 3), payload[at + 3]);
    return m_length % 4 == 0;
}

void CDVBParentalRatingDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    m_ratings = static_cast<const CDVBParentalRatingDescriptor*>(source)->m_ratings;
}
