#include "si/CDVBServiceDescriptor.h"

bool CDVBServiceDescriptor::Parse(CDVBByteReader payload)
{
    return payload.ReadByte(m_serviceType) && ReadCountedText(payload, m_providerNameLength, m_providerName) &&
           ReadCountedText(payload, m_serviceNameLength, m_serviceName);
}

void CDVBServiceDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    const auto* from = static_cast<const CDVBServiceDescriptor*>(source);
    m_serviceType = from->m_serviceType;
    m_providerNameLength = from->m_providerNameLength;
    m_providerName = from->m_providerName;
    m_serviceNameLength = from->m_serviceNameLength;
    m_serviceName = from->m_serviceName;
}
