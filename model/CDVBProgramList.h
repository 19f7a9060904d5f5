#pragma once
// Programs sorted by program number, at most one per number; the list owns them.
#include "core/CDVBOwningList.h"
#include "model/CDVBProgram.h"

class CDVBProgramList : public CDVBOwningList<CDVBProgram>
{
public:
    CDVBProgram* GetProgram(WORD programNumber) const;
    // Never null: a missing program is created at its sorted place.
    CDVBProgram* GetOrCreateProgram(WORD programNumber);
};
