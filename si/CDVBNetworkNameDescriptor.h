#pragma once
// Network name descriptor (0x40), as broadcast: the bytes are not converted.
#include "si/CDVBDescriptor.h"

class CDVBNetworkNameDescriptor : public CDVBDescriptor
{
public:
    static constexpr BYTE Tag = 0x40;

    bool Parse(CDVBByteReader payload) override;
    void CopyFrom(const CDVBDescriptor* source) override;

    CString m_networkName;
};
