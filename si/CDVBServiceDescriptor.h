#pragma once
// Service descriptor (0x48): a service's type, provider and name, as broadcast.
#include "si/CDVBDescriptor.h"

class CDVBServiceDescriptor : public CDVBDescriptor
{
public:
    static constexpr BYTE Tag = 0x48;

    bool Parse(CDVBByteReader payload) override;
    void CopyFrom(const CDVBDescriptor* source) override;

    BYTE m_serviceType = 0;
    BYTE m_providerNameLength = 0;
    CString m_providerName;
    BYTE m_serviceNameLength = 0;
    CString m_serviceName;
};
