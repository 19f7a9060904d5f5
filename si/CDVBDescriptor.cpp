#include "si/CDVBDescriptor.h"

#include "si/CDVBContentDescriptor.h"
#include "si/CDVBExtendedEventDescriptor.h"
#include "si/CDVBISO639LanguageDescriptor.h"
#include "si/CDVBNetworkNameDescriptor.h"
#include "si/CDVBParentalRatingDescriptor.h"
#include "si/CDVBServiceDescriptor.h"
#include "si/CDVBShortEventDescriptor.h"
#include "si/CDVBSubtitlingDescriptor.h"
#include "si/CDVBTeletextDescriptor.h"
#include "si/CDVBTerrestrialDeliverySystemDescriptor.h"

bool CDVBDescriptor::Parse(const BYTE*)
{
    return true;
}

CDVBDescriptor* CDVBDescriptor::Clone() const
{
    CDVBDescriptor* copy = CreateDescriptor(m_tag);
    copy->CopyFrom(this);
    return copy;
}

void CDVBDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    m_tag = source->m_tag;
    m_length = source->m_length;
}

CDVBDescriptor* CDVBDescriptor::CreateDescriptor(BYTE tag)
{
    switch (tag) {
    case CDVBContentDescriptor::Tag:
        return new CDVBContentDescriptor;
    case CDVBExtendedEventDescriptor::Tag:
        return new CDVBExtendedEventDescriptor;
    case CDVBParentalRatingDescriptor::Tag:
        return new CDVBParentalRatingDescriptor;
    case CDVBISO639LanguageDescriptor::Tag:
        return new CDVBISO639LanguageDescriptor;
    case CDVBNetworkNameDescriptor::Tag:
        return new CDVBNetworkNameDescriptor;
    case CDVBServiceDescriptor::Tag:
        return new CDVBServiceDescriptor;
    case CDVBShortEventDescriptor::Tag:
        return new CDVBShortEventDescriptor;
    case CDVBSubtitlingDescriptor::Tag:
        return new CDVBSubtitlingDescriptor;
    case CDVBTeletextDescriptor::Tag:
        return new CDVBTeletextDescriptor;
    case CDVBTerrestrialDeliverySystemDescriptor::Tag:
        return new CDVBTerrestrialDeliverySystemDescriptor;
    default:
        return new CDVBDescriptor;
    }
}

bool CDVBDescriptor::ReadCountedText(const BYTE*& cursor, BYTE& remaining, BYTE& lengthOut, CString& text)
{
    if (remaining == 0)
        return false;
    lengthOut = *cursor++;
    --remaining;
    return ReadFixedText(cursor, remaining, lengthOut, text);
}

bool CDVBDescriptor::ReadFixedText(const BYTE*& cursor, BYTE& remaining, BYTE count, CString& text)
{
    // the bytes that are there are kept, even when the text is cut short
    const BYTE n = count < remaining ? count : remaining;
    text.Append(reinterpret_cast<const char*>(cursor), n);
    cursor += n;
    remaining = BYTE(remaining - n);
    return n == count;
}
