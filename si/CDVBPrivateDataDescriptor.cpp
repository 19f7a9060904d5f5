#include "si/CDVBPrivateDataDescriptor.h"

void CDVBPrivateDataDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    m_specifier = static_cast<const CDVBPrivateDataDescriptor*>(source)->m_specifier;
}
