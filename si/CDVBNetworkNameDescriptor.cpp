#include "si/CDVBNetworkNameDescriptor.h"

bool CDVBNetworkNameDescriptor::Parse(CDVBByteReader payload)
{
    m_networkName.Append(reinterpret_cast<const char*>(payload.Data()), payload.Remaining());   // all of it
    return true;
}

void CDVBNetworkNameDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    m_networkName = static_cast<const CDVBNetworkNameDescriptor*>(source)->m_networkName;
}
