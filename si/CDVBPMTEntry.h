#pragma once
// One elementary stream of a program map section.
#include "si/CDVBDescriptorList.h"

class CDVBPMTEntry
{
public:
    virtual ~CDVBPMTEntry() = default;

    BYTE m_streamType = 0;
    BYTE m_reserved1 = 0;
    WORD m_elementaryPid = 0;
    BYTE m_reserved2 = 0;
    WORD m_esInfoLength = 0;
    CDVBDescriptorList m_descriptors;
};
