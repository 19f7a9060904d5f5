#pragma once
// Where an SI receiver reports sections. The section stays owned by the SI receiver and
// valid until it is replaced or the SI receiver goes: held sections never expire.
#include "platform/LUMTypes.h"

class CDVBSISection;

class CDVBSIHandler
{
public:
    virtual ~CDVBSIHandler() = default;
    virtual void OnSectionAdd(WORD, CDVBSISection*) {}
    virtual void OnSectionUpdate(WORD, CDVBSISection*) {}
};
