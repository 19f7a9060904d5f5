#include "si/CDVBDescriptor.h"

#include "si/CDVBContentDescriptor.h"
#include "si/CDVBExtendedEventDescriptor.h"
#include "si/CDVBExtensionDescriptor.h"
#include "si/CDVBISO639LanguageDescriptor.h"
#include "si/CDVBLogicalChannelDescriptor.h"
#include "si/CDVBNetworkNameDescriptor.h"
#include "si/CDVBParentalRatingDescriptor.h"
#include "si/CDVBPrivateDataDescriptor.h"
#include "si/CDVBServiceDescriptor.h"
#include "si/CDVBShortEventDescriptor.h"
#include "si/CDVBSubtitlingDescriptor.h"
#include "si/CDVBTeletextDescriptor.h"
#include "si/CDVBTerrestrialDeliverySystemDescriptor.h"

bool CDVBDescriptor::Parse(CDVBByteReader)
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
    case CDVBExtensionDescriptor::Tag:
        return new CDVBExtensionDescriptor;
    case CDVBPrivateDataDescriptor::Tag:
        return new CDVBPrivateDataDescriptor;
    case CDVBLogicalChannelDescriptor::Tag:
    case CDVBLogicalChannelDescriptor::NorDigTag:
        return new CDVBLogicalChannelDescriptor;
    case CDVBTerrestrialDeliverySystemDescriptor::Tag:
        return new CDVBTerrestrialDeliverySystemDescriptor;
    default:
        return new CDVBDescriptor;
    }
}

bool CDVBDescriptor::ReadFixedText(CDVBByteReader& reader, BYTE count, CString& text)
{
    // the bytes that are there are kept, even when the text is cut short
    const WORD there = count < reader.Remaining() ? count : reader.Remaining();
    CDVBByteReader bytes;
    if (!reader.Split(there, bytes))
        return false;
    text.Append(reinterpret_cast<const char*>(bytes.Data()), bytes.Remaining());
    return there == count;
}

bool CDVBDescriptor::ReadCountedText(CDVBByteReader& reader, BYTE& lengthOut, CString& text)
{
    return reader.ReadByte(lengthOut) && ReadFixedText(reader, lengthOut, text);
}
