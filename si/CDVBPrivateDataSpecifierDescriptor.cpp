#include "si/CDVBPrivateDataSpecifierDescriptor.h"

void CDVBPrivateDataSpecifierDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    m_specifier = static_cast<const CDVBPrivateDataSpecifierDescriptor*>(source)->m_specifier;
}
