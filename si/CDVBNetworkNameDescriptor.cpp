#include "si/CDVBNetworkNameDescriptor.h"

bool CDVBNetworkNameDescriptor::Parse(const BYTE* payload)
{
    BYTE remaining = m_length;
    return ReadFixedText(payload, remaining, m_length, m_networkName);
}

void CDVBNetworkNameDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    m_networkName = static_cast<const CDVBNetworkNameDescriptor*>(source)->m_networkName;
}
