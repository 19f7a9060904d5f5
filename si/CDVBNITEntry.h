#pragma once
// One transport stream of a network information section.
#include "si/CDVBDescriptorList.h"

class CDVBNITEntry
{
public:
    virtual ~CDVBNITEntry() = default;

    WORD m_transportStreamId = 0;
    WORD m_originalNetworkId = 0;
    BYTE m_reserved = 0;
    WORD m_transportDescriptorsLength = 0;
    CDVBDescriptorList m_descriptors;
};
