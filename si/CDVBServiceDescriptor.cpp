#include "si/CDVBServiceDescriptor.h"

bool CDVBServiceDescriptor::Parse(const BYTE* payload)
{
    if (m_length < 1)
        return false;
    BYTE remaining = BYTE(m_length - 1);
    m_serviceType = *payload++;
    return ReadCountedText(payload, remaining, m_providerNameLength, m_providerName) &&
           ReadCountedText(payload, remaining, m_serviceNameLength, m_serviceName);
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
