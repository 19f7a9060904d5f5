#pragma once
// One service of a service description section.
#include "si/CDVBDescriptorList.h"

class CDVBSDTEntry
{
public:
    virtual ~CDVBSDTEntry() = default;

    WORD m_serviceId = 0;
    BYTE m_reserved = 0;
    BYTE m_eitScheduleFlag = 0;
    BYTE m_eitPresentFollowingFlag = 0;
    BYTE m_runningStatus = 0;
    BYTE m_freeCaMode = 0;
    WORD m_descriptorsLoopLength = 0;
    CDVBDescriptorList m_descriptors;
};
