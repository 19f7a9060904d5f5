#pragma once
// Where an SI receiver reports sections. The section stays owned by the SI receiver and
// valid until it is replaced, expires, or the SI receiver goes.
#include "platform/LUMTypes.h"

class CDVBSISection;

class CDVBSIHandler
{
public:
    virtual ~CDVBSIHandler() = default;
    virtual void OnSectionAdd(WORD, CDVBSISection*) {}
    virtual void OnSectionUpdate(WORD, CDVBSISection*) {}
    virtual void OnSectionRepeat(WORD, CDVBSISection*) {}
    virtual void OnSectionExpiry(WORD, CDVBSISection*) {}
};
